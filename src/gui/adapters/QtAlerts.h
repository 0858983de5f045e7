#pragma once

#include <QPointer>
#include <atomic>
#include <functional>
#include <vector>

#include "platform/Ui.h"

class QMessageBox;

namespace glowmere::platform {
class RunLoop;
}

namespace glowmere::gui {

// Alerts for the logic, shown on the Qt thread without a nested event loop:
// a question's answer is posted to the controller loop, so no thread waits
// on the user and a quit is never held up by an open alert.
class QtAlerts final : public platform::Alerts {
public:
    explicit QtAlerts(platform::RunLoop& controllerLoop) : loop_(controllerLoop) {}
    ~QtAlerts() override;

    platform::AlertResponse runModal(const platform::AlertSpec& alert) override;
    void ask(const platform::AlertSpec& alert, std::function<void(platform::AlertResponse)> answered) override;
    void beep() override;
    // The application is ending: every alert still open closes unanswered
    // (as Cancel), and those yet to come are not shown. Any thread.
    void shutDown();
    int shownCount() const { return shown_; }

private:
    // Shows `alert` and hands the clicked button to `answered` (Qt thread).
    void show(const platform::AlertSpec& alert, std::function<void(platform::AlertResponse)> answered);

    platform::RunLoop& loop_;
    std::atomic<bool> shuttingDown_{false};
    std::atomic<int> shown_{0};
    std::vector<QPointer<QMessageBox>> open_;  // Qt thread only
};

}  // namespace glowmere::gui
