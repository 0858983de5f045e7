#include "controls/qfPopover.h"

#include <cstdio>

#include "platform/Log.h"

namespace glowmere {

qfPopover::qfPopover(std::unique_ptr<platform::PlainWindow> window) : window_(std::move(window)) {
    window_->setResignKeyHandler([this] { windowDidResignKey(); });
    window_->setShowsResizeIndicator(false);
    // The window keeps the size it is given.
    window_->setResizable(false);
}

qfPopover::~qfPopover() {
    window_->setResignKeyHandler({});
}

void qfPopover::setContentView(std::shared_ptr<platform::View> view) {
    window_->setContentView(std::move(view));
}

platform::View* qfPopover::contentView() const {
    return window_->contentView();
}

void qfPopover::setContentSize(platform::Size size) {
    window_->setContentSize(size);
}

void qfPopover::setAnimates(bool animates) {
    // Turning it off again keeps the utility style.
    if (animates) window_->setAnimationBehavior(utilityWindowAnimation);
}

platform::Point qfPopover::convertToScreenFromLocalPointRelativeToView(platform::Point point,
                                                                       const platform::View* view) const {
    return window_->convertBaseToScreen(view, point).value_or(platform::Point{});
}

void qfPopover::showRelativeToRectOfViewPreferredEdge(platform::Rect, platform::View* view, platform::RectEdge) {
    float x = 0;
    float y = 0;
    if (view) {
        platform::Rect frame = view->frame();
        x = static_cast<float>(frame.origin.x) + static_cast<float>(frame.size.width);
        y = static_cast<float>(frame.origin.y);
    }
    platform::Point corner = convertToScreenFromLocalPointRelativeToView({x, y}, view);
    char line[96];
    std::snprintf(line, sizeof line, "setting max edge to %f, %f", corner.x, corner.y);
    platform::log(line);
    window_->setFrameOrigin(corner);
    window_->makeKeyAndOrderFront();
}

void qfPopover::performClose() {
    // The delegate is asked, but the popover closes whatever it answers.
    if (delegate_) delegate_->popoverShouldClose(this);
    close();
}

void qfPopover::close() {
    window_->orderOut();
}

bool qfPopover::isShown() const {
    return window_->isVisible();
}

void qfPopover::windowDidResignKey() {
    performClose();
}

}  // namespace glowmere
