#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

namespace glowmere::gui {

// Glowmere as a client of the desktop's session manager, where one answers
// on the session bus as org.gnome.SessionManager: registered at start, so a
// log-out asks Glowmere before it ends it. QueryEndSession is agreed to at
// once; EndSession hands the log-out to `endSession` with a `done` (any
// thread, at most once counts) and the session manager hears that Glowmere
// is ready only then, so the lamps' requests go out first; Stop runs `stop`.
// Without a session manager on the bus it registers nothing and tells
// nothing. Qt thread.
class SessionManagerClient : public QObject {
    Q_OBJECT
public:
    static constexpr const char* managerService = "org.gnome.SessionManager";
    static constexpr const char* managerPath = "/org/gnome/SessionManager";
    static constexpr const char* managerInterface = "org.gnome.SessionManager";
    static constexpr const char* clientInterface = "org.gnome.SessionManager.ClientPrivate";

    using EndSession = std::function<void(std::function<void()> done)>;

    // `appId`: the desktop entry's name; `startupId`: what the session
    // manager gave the process at autostart (DESKTOP_AUTOSTART_ID), or empty.
    SessionManagerClient(QDBusConnection bus, const QString& appId, const QString& startupId, EndSession endSession,
                         std::function<void()> stop, QObject* parent = nullptr);
    ~SessionManagerClient() override;

    bool registered() const { return !clientPath_.isEmpty(); }
    const QString& clientPath() const { return clientPath_; }

private slots:
    void queryEndSession(uint flags);
    void endSession(uint flags);
    void cancelEndSession();
    void stop();

private:
    // EndSessionResponse(true, ""): Glowmere does not hold the log-out up.
    void respond();

    QDBusConnection bus_;
    QString clientPath_;
    EndSession endSession_;
    std::function<void()> stop_;
};

}  // namespace glowmere::gui
