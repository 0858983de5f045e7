#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

#include "platform/DistributedNotificationCenter.h"

namespace glowmere::gui {

// Machine-wide notifications as signals on the session bus: a notification
// NAME with object OBJECT is the signal NAME(s OBJECT) of the object
// /org/glowmere/Glowmere, interface org.glowmere.Glowmere. Without a session
// bus nothing is sent. Safe from any thread.
class SessionBusNotifications final : public platform::DistributedNotificationCenter {
public:
    static constexpr const char* objectPath = "/org/glowmere/Glowmere";
    static constexpr const char* interfaceName = "org.glowmere.Glowmere";

    void postNotificationNameObject(const std::string& name, const std::string& object) override;
};

// Tells when the machine wakes from sleep: logind's PrepareForSleep(false)
// on the system bus. Without a system bus it never tells.
class SleepWatcher : public QObject {
    Q_OBJECT
public:
    SleepWatcher(QDBusConnection bus, std::function<void()> woke, QObject* parent = nullptr);
    bool watching() const { return watching_; }

private slots:
    void prepareForSleep(bool sleeping);

private:
    std::function<void()> woke_;
    bool watching_ = false;
};

}  // namespace glowmere::gui
