#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "controller/ManualController.h"
#include "controller/SessionActions.h"

namespace glowmere {
class BridgeBridge;
class ScheduleManager;
}  // namespace glowmere

namespace glowmere::gui {

class DesktopNotifications;
class GuiContext;
class LogindSession;
class QtStatusItem;
class SessionManagerClient;
class SessionSection;
class SettingsWindow;
class ToolWindows;

// The lamps following the desktop session, and the desktop notifications:
// logind's, the session manager's and the screen saver's news handed to the
// session actions on the controller thread, each action said in the tray's tooltip for a minute and
// as a notification, the Session section of the settings window, and the
// notifications of the bridge lost and found, a schedule the bridge did not
// take, the sound trigger and an update. Made on the Qt thread after the
// main controller, the schedule manager and the tool windows; destroyed
// before them, after the controller thread stopped.
class SessionFollowing : public QObject {
    Q_OBJECT
public:
    struct Parts {
        GuiContext& context;
        platform::RunLoop& loop;
        platform::DefaultsStore& defaults;
        ManualController& manual;
        BridgeBridge& bridge;
        ScheduleManager& schedules;
        ToolWindows& tools;
        SettingsWindow& settingsWindow;
        // The tray item, once the controller made it (Qt thread).
        std::function<QtStatusItem*()> statusItem;
        // The orderly quit, when the session manager asks for it (Qt thread).
        std::function<void()> quit;
    };
    // How long the tray's tooltip tells of an action.
    static constexpr std::chrono::minutes noteShown{1};

    SessionFollowing(Parts parts, QDBusConnection system, QDBusConnection session, const QString& sessionId);
    ~SessionFollowing() override;

    // The bridge's state as the window shows it (any thread).
    void bridgeStateChanged(ManualController::BridgeState state, const QString& address);

    SessionActions& actions() { return *actions_; }
    LogindSession& logind() { return *logind_; }
    // The desktop's session manager, where the session bus has one.
    SessionManagerClient& sessionManager() { return *sessionManager_; }
    DesktopNotifications& notifications() { return *notifications_; }
    SessionSection* section() const;

private:
    // The session ends: the log-out's action on the controller thread;
    // `done` runs once the bridge answered it (or after answerWait).
    void logout(std::function<void()> done);
    // Qt's own session management (the session managers that speak XSMP):
    // the session manager goes on once this returns, so it waits, events
    // running, for the log-out's action.
    void commitData();
    // Controller thread: the tooltip's line, gone after noteShown.
    void tellDone(const std::string& line);

    Parts parts_;
    std::unique_ptr<ControllerSessionLamps> lamps_;
    std::unique_ptr<SessionActions> actions_;
    std::unique_ptr<DesktopNotifications> notifications_;
    std::unique_ptr<LogindSession> logind_;
    std::unique_ptr<SessionManagerClient> sessionManager_;
    QPointer<SessionSection> section_;
    int noteGeneration_ = 0;  // controller thread
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace glowmere::gui
