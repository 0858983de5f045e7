#pragma once

#include <atomic>

#include "platform/Ui.h"

namespace glowmere::gui {

// Modal alerts for the logic: shown on the Qt thread while the calling
// thread waits; the windows stay live.
class QtAlerts final : public platform::Alerts {
public:
    platform::AlertResponse runModal(const platform::AlertSpec& alert) override;
    void beep() override;
    // Every alert still open (or yet to open) answers its default button:
    // the application is ending.
    void shutDown();
    int shownCount() const { return shown_; }

private:
    std::atomic<bool> shuttingDown_{false};
    std::atomic<int> shown_{0};
};

}  // namespace glowmere::gui
