#include "support/FakeUi.h"

#include <algorithm>

namespace glowmere::testing {

void FakeWindow::center() {
    std::lock_guard lock(mutex_);
    calls_.push_back("center");
}

void FakeWindow::makeKeyAndOrderFront() {
    std::lock_guard lock(mutex_);
    visible_ = true;
    calls_.push_back("front");
}

void FakeWindow::orderOut() {
    std::lock_guard lock(mutex_);
    visible_ = false;
    calls_.push_back("out");
}

bool FakeWindow::isVisible() const {
    std::lock_guard lock(mutex_);
    return visible_;
}

std::vector<std::string> FakeWindow::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int FakeWindow::centerCount() const {
    auto c = calls();
    return static_cast<int>(std::count(c.begin(), c.end(), "center"));
}

int FakeWindow::frontCount() const {
    auto c = calls();
    return static_cast<int>(std::count(c.begin(), c.end(), "front"));
}

int FakeWindow::orderOutCount() const {
    auto c = calls();
    return static_cast<int>(std::count(c.begin(), c.end(), "out"));
}

void FakeProgressIndicator::startAnimation() {
    std::lock_guard lock(mutex_);
    animating_ = true;
    ++starts_;
}

void FakeProgressIndicator::stopAnimation() {
    std::lock_guard lock(mutex_);
    animating_ = false;
    ++stops_;
}

bool FakeProgressIndicator::animating() const {
    std::lock_guard lock(mutex_);
    return animating_;
}

int FakeProgressIndicator::startCount() const {
    std::lock_guard lock(mutex_);
    return starts_;
}

int FakeProgressIndicator::stopCount() const {
    std::lock_guard lock(mutex_);
    return stops_;
}

void FakeTabView::selectTabViewItemWithIdentifier(const std::string& identifier) {
    std::lock_guard lock(mutex_);
    selected_.push_back(identifier);
}

std::vector<std::string> FakeTabView::selected() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

platform::AlertResponse FakeAlerts::runModal(const platform::AlertSpec& alert) {
    std::lock_guard lock(mutex_);
    shown_.push_back(alert);
    if (answers_.empty()) return defaultAnswer_;
    auto answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void FakeAlerts::beep() {
    std::lock_guard lock(mutex_);
    ++beeps_;
}

void FakeAlerts::queueAnswer(platform::AlertResponse answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void FakeAlerts::setDefaultAnswer(platform::AlertResponse answer) {
    std::lock_guard lock(mutex_);
    defaultAnswer_ = answer;
}

std::vector<platform::AlertSpec> FakeAlerts::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

int FakeAlerts::beepCount() const {
    std::lock_guard lock(mutex_);
    return beeps_;
}

}  // namespace glowmere::testing
