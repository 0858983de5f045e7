#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace glowmere::gui {

// The desktop session as logind and the screen saver tell it: sleep and
// wake (PrepareForSleep), shutdown (PrepareForShutdown), the session's lock
// (its LockedHint property) and, where logind says nothing of the lock, the
// screen saver's ActiveChanged on the session bus.
//
// While it runs it holds a delay inhibitor for sleep and one for shutdown,
// so the desktop waits for Glowmere's lamps before it goes on: each event
// is handed to `event` with a `release` to call once its work is done; the
// inhibitor is closed then and, after wake, taken again. Without a system
// bus it tells nothing and holds nothing. Qt thread.
class LogindSession : public QObject {
    Q_OBJECT
public:
    enum class Event { BeforeSleep, AfterWake, Lock, Unlock, Shutdown };
    using Handler = std::function<void(Event event, std::function<void()> release)>;

    // `sessionId`: logind's id of this session (XDG_SESSION_ID); "auto"
    // asks logind for the caller's own.
    LogindSession(QDBusConnection system, QDBusConnection session, QString sessionId, Handler event,
                  QObject* parent = nullptr);
    ~LogindSession() override;

    bool watching() const { return watching_; }
    bool holdsSleepInhibitor() const { return sleepLock_.isValid(); }
    bool holdsShutdownInhibitor() const { return shutdownLock_.isValid(); }
    const QString& sessionPath() const { return sessionPath_; }

private slots:
    void prepareForSleep(bool sleeping);
    void prepareForShutdown(bool stopping);
    void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void screenSaverActiveChanged(bool active);

private:
    QDBusUnixFileDescriptor inhibit(const QString& what, const QString& why);
    // Hands `event` on; `held` is let go of once the handler is done.
    void tell(Event event, QDBusUnixFileDescriptor* held);

    QDBusConnection system_;
    QDBusConnection session_;
    Handler event_;
    QString sessionPath_;
    QDBusUnixFileDescriptor sleepLock_;
    QDBusUnixFileDescriptor shutdownLock_;
    bool watching_ = false;
    bool logindTellsLock_ = false;
};

}  // namespace glowmere::gui
