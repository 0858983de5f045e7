#pragma once

#include <memory>
#include <mutex>

#include "gui/app/GuiContext.h"
#include "gui/app/GuiPart.h"
#include "platform/Views.h"

namespace glowmere::gui {

class PopoverFrame;

class QtPopover final : public platform::Popover {
public:
    explicit QtPopover(GuiContext& context);
    ~QtPopover() override;

    void setContentView(std::shared_ptr<platform::View> view) override;
    platform::View* contentView() const override;
    void setContentSize(platform::Size size) override;
    void setBehavior(Behavior behavior) override;
    void setAnimates(bool) override {}
    void setDelegate(platform::PopoverDelegate* delegate) override;
    void showRelativeToRectOfViewPreferredEdge(platform::Rect rect, platform::View* view,
                                               platform::RectEdge edge) override;
    void performClose() override;
    void close() override;
    bool isShown() const override;

private:
    struct State {
        std::mutex mutex;
        std::shared_ptr<platform::View> content;
        platform::Size size{100, 60};
        Behavior behavior = Behavior::ApplicationDefined;
        platform::PopoverDelegate* delegate = nullptr;
        bool shown = false;
    };
    // The user dismissed a transient popover (a click outside it).
    static void dismissedByUser(GuiContext& context, std::weak_ptr<State> state, QtPopover* popover);
    // The user pressed Escape: the popover closes as its Cancel button
    // would, and a rename popover without one renames nothing.
    static void cancelledByUser(GuiContext& context, std::weak_ptr<State> state, QtPopover* popover);

    GuiContext& context_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
    GuiPart<PopoverFrame> frame_;
};

}  // namespace glowmere::gui
