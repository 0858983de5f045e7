#pragma once

#include <memory>

#include "platform/Value.h"
#include "platform/Views.h"

namespace glowmere {

// A row of checkboxes laid over the strips while the user picks lamps or
// groups; each checkbox carries the tag of the strip it sits over.
class LampSelectionView {
public:
    explicit LampSelectionView(platform::Rect frame);

    platform::View& view() const { return *view_; }
    const std::shared_ptr<platform::View>& sharedView() const { return view_; }

    // Adds a checkbox (a switch-type button) tagged `tag`.
    platform::View* addCheckbox(platform::Rect frame, int tag);

    // The tags of the ticked checkboxes, in subview order, as integers.
    Value getSelectedIDs() const;
    // Unticks everything; answers a new empty list.
    Value deselectAll();
    // The first checkbox with `tag`, or none.
    platform::View* checkboxWithTag(int tag) const;

private:
    std::shared_ptr<platform::View> view_;
};

}  // namespace glowmere
