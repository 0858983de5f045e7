#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Ui.h"

namespace glowmere::testing {

// Fakes of the window services for unit tests. Each records what was asked
// of it; all are safe to use from several threads.

class FakeWindow final : public platform::Window {
public:
    void center() override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool isVisible() const override;

    int centerCount() const;
    int frontCount() const;
    int orderOutCount() const;
    // "center", "front", "out" in the order they came.
    std::vector<std::string> calls() const;

private:
    mutable std::mutex mutex_;
    bool visible_ = false;
    std::vector<std::string> calls_;
};

class FakeProgressIndicator final : public platform::ProgressIndicator {
public:
    void startAnimation() override;
    void stopAnimation() override;

    bool animating() const;
    int startCount() const;
    int stopCount() const;

private:
    mutable std::mutex mutex_;
    bool animating_ = false;
    int starts_ = 0;
    int stops_ = 0;
};

class FakeTabView final : public platform::TabView {
public:
    void selectTabViewItemWithIdentifier(const std::string& identifier) override;
    std::vector<std::string> selected() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> selected_;
};

// Answers alerts from a script: queued answers first, then the default
// answer (the default button unless changed).
class FakeAlerts final : public platform::Alerts {
public:
    platform::AlertResponse runModal(const platform::AlertSpec& alert) override;
    void beep() override;

    void queueAnswer(platform::AlertResponse answer);
    void setDefaultAnswer(platform::AlertResponse answer);

    std::vector<platform::AlertSpec> shown() const;
    int beepCount() const;

private:
    mutable std::mutex mutex_;
    std::deque<platform::AlertResponse> answers_;
    platform::AlertResponse defaultAnswer_ = platform::AlertResponse::Default;
    std::vector<platform::AlertSpec> shown_;
    int beeps_ = 0;
};

}  // namespace glowmere::testing
