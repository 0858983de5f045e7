#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>

namespace glowmere::gui {

// Desktop notifications through org.freedesktop.Notifications on the
// session bus. Each is sent without waiting for the reply; without a
// notification service, or while `enabled` answers false (the user's
// switch), nothing is shown and nothing else changes. Safe from any thread:
// the call itself is made on the Qt thread.
class DesktopNotifications {
public:
    // Defaults key of the switch (on unless stored off).
    static constexpr const char* enabledKey = "desktopNotifications";

    DesktopNotifications(QDBusConnection bus, std::function<bool()> enabled);
    ~DesktopNotifications();

    void notify(const QString& summary, const QString& body = {});
    // The bridge's state as the window shows it: one notification when it
    // stops answering, one when it answers again, however many polls
    // between.
    void bridgeAnswers(bool answers, const QString& address);
    int sent() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::function<bool()> enabled_;
    std::mutex mutex_;
    bool lost_ = false;
};

}  // namespace glowmere::gui
