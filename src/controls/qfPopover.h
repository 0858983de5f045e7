#pragma once

#include <memory>

#include "platform/Views.h"

namespace glowmere {

// A popover built on a plain window: opens with its lower-left corner at the
// lower-right corner of the view it is shown for, and closes as soon as its
// window stops being key.
class qfPopover final : public platform::Popover {
public:
    // Utility-window animation of the platform.
    static constexpr int utilityWindowAnimation = 4;

    explicit qfPopover(std::unique_ptr<platform::PlainWindow> window);
    ~qfPopover() override;

    platform::PlainWindow& window() const { return *window_; }

    void setContentView(std::shared_ptr<platform::View> view) override;
    platform::View* contentView() const override;
    void setContentSize(platform::Size size) override;
    void setBehavior(Behavior behavior) override { behavior_ = behavior; }
    Behavior behavior() const { return behavior_; }
    void setAnimates(bool animates) override;
    void setDelegate(platform::PopoverDelegate* delegate) override { delegate_ = delegate; }
    void showRelativeToRectOfViewPreferredEdge(platform::Rect rect, platform::View* view,
                                               platform::RectEdge edge) override;
    void performClose() override;
    void close() override;
    bool isShown() const override;

    // A point of `view`'s window on the screen; the zero point without a screen.
    platform::Point convertToScreenFromLocalPointRelativeToView(platform::Point point,
                                                                const platform::View* view) const;
    void windowDidResignKey();

private:
    std::unique_ptr<platform::PlainWindow> window_;
    platform::PopoverDelegate* delegate_ = nullptr;
    Behavior behavior_ = Behavior::ApplicationDefined;
};

}  // namespace glowmere
