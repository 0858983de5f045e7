#pragma once

#include <memory>

#include "platform/Views.h"

namespace glowmere {

class LampControlStrip;

// The view of one control strip; tells its strip about double clicks.
class ControlStripView {
public:
    explicit ControlStripView(std::shared_ptr<platform::View> view);
    ~ControlStripView();
    ControlStripView(const ControlStripView&) = delete;
    ControlStripView& operator=(const ControlStripView&) = delete;

    void setTarget(LampControlStrip* target) { target_ = target; }
    LampControlStrip* target() const { return target_; }

    // A finished click: exactly two clicks make a double click.
    void mouseUp(int clickCount);

    platform::View& view() const { return *view_; }
    const std::shared_ptr<platform::View>& sharedView() const { return view_; }

private:
    std::shared_ptr<platform::View> view_;
    LampControlStrip* target_ = nullptr;
};

}  // namespace glowmere
