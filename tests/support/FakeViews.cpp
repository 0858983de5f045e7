#include "support/FakeViews.h"

#include <algorithm>

namespace glowmere::testing {

using platform::Button;
using platform::Slider;
using platform::TextField;
using platform::View;

void FakeThrobber::startAnimation() {
    std::lock_guard g(mutex_);
    animating_ = true;
    ++starts_;
}
void FakeThrobber::stopAnimation() {
    std::lock_guard g(mutex_);
    animating_ = false;
}
bool FakeThrobber::animating() const {
    std::lock_guard g(mutex_);
    return animating_;
}
int FakeThrobber::startCount() const {
    std::lock_guard g(mutex_);
    return starts_;
}

FakeMainWindow::FakeMainWindow() : content_(std::make_shared<View>("content")) {}

void FakeMainWindow::makeKeyAndOrderFront() {
    std::lock_guard g(mutex_);
    visible_ = true;
    ++fronts_;
}
void FakeMainWindow::orderOut() {
    std::lock_guard g(mutex_);
    visible_ = false;
}
bool FakeMainWindow::isVisible() const {
    std::lock_guard g(mutex_);
    return visible_;
}
platform::Rect FakeMainWindow::frame() const {
    std::lock_guard g(mutex_);
    return frame_;
}
void FakeMainWindow::setFrame(platform::Rect frame, bool) {
    std::lock_guard g(mutex_);
    frame_ = frame;
    ++setFrames_;
}
bool FakeMainWindow::isWindowLoaded() const {
    std::lock_guard g(mutex_);
    return loaded_;
}
void FakeMainWindow::setWindowLoaded(bool loaded) {
    std::lock_guard g(mutex_);
    loaded_ = loaded;
}
int FakeMainWindow::frontCount() const {
    std::lock_guard g(mutex_);
    return fronts_;
}
int FakeMainWindow::setFrameCount() const {
    std::lock_guard g(mutex_);
    return setFrames_;
}

std::optional<platform::Point> FakePlainWindow::convertBaseToScreen(const platform::View*,
                                                                    platform::Point point) const {
    if (!screenOffset) return std::nullopt;
    return platform::Point{point.x + screenOffset->x, point.y + screenOffset->y};
}

namespace {

std::shared_ptr<View> controlView(std::shared_ptr<platform::Control> control, int tag, platform::Rect frame) {
    control->setTag(tag);
    return std::make_shared<View>("control", frame, std::move(control));
}

}  // namespace

std::shared_ptr<View> FakeViewTemplates::loadView(const std::string& name) {
    {
        std::lock_guard g(mutex_);
        ++loaded_[name];
    }
    if (name == "SingleControl") {
        if (failStripTemplate) return nullptr;
        auto strip = std::make_shared<View>("SingleControl", platform::Rect{{0, 0}, {95, 438}});
        strip->addSubview(controlView(std::make_shared<TextField>("Lamp"), 1, {{0, 400}, {95, 20}}));
        strip->addSubview(controlView(std::make_shared<Button>(), 2, {{30, 370}, {35, 20}}));
        strip->addSubview(controlView(std::make_shared<Slider>(0, 255, 0), 3, {{5, 40}, {20, 320}}));
        strip->addSubview(controlView(std::make_shared<Slider>(0, 65535, 0), 4, {{37, 40}, {20, 320}}));
        strip->addSubview(controlView(std::make_shared<Slider>(0, 255, 0), 5, {{70, 40}, {20, 320}}));
        strip->addSubview(controlView(std::make_shared<Button>("Rename"), 6, {{0, 10}, {30, 20}}));
        strip->addSubview(controlView(std::make_shared<TextField>(""), 7, {{30, 10}, {35, 20}}));
        strip->addSubview(controlView(std::make_shared<Button>("Dusk"), 8, {{65, 10}, {30, 20}}));
        auto rule = std::make_shared<View>("box", platform::Rect{{0, 17}, {95, 1}});
        rule->setIdentifier("horizontal");
        rule->setHidden(true);
        strip->addSubview(rule);
        return strip;
    }
    auto content = std::make_shared<View>(name);
    if (name == "reNameView") {
        content->addSubview(controlView(std::make_shared<TextField>(""), 1, {{10, 50}, {110, 22}}));
        content->addSubview(controlView(std::make_shared<Button>("OK"), 2, {{10, 10}, {110, 30}}));
    }
    return content;
}

std::unique_ptr<platform::Popover> FakeViewTemplates::makePopover() {
    auto popover = std::make_unique<FakePopover>();
    popovers.push_back(popover.get());
    return popover;
}

std::unique_ptr<platform::PlainWindow> FakeViewTemplates::makePlainWindow() {
    return std::make_unique<FakePlainWindow>();
}

int FakeViewTemplates::loads(const std::string& name) const {
    std::lock_guard g(mutex_);
    auto it = loaded_.find(name);
    return it == loaded_.end() ? 0 : it->second;
}

}  // namespace glowmere::testing
