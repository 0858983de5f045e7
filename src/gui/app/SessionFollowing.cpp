#include "gui/app/SessionFollowing.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>
#include <atomic>

#include "bridge/BridgeBridge.h"
#include "gui/adapters/DesktopNotifications.h"
#include "gui/adapters/LogindSession.h"
#include "gui/adapters/QtStatusItem.h"
#include "gui/adapters/SessionManagerClient.h"
#include "gui/app/GuiContext.h"
#include "gui/app/ToolWindows.h"
#include "gui/windows/SessionSection.h"
#include "gui/windows/SettingsWindow.h"
#include "schedules/ScheduleManager.h"

namespace glowmere::gui {

namespace {
SessionEvent sessionEventOf(LogindSession::Event event) {
    switch (event) {
        case LogindSession::Event::BeforeSleep:
            return SessionEvent::BeforeSleep;
        case LogindSession::Event::AfterWake:
            return SessionEvent::AfterWake;
        case LogindSession::Event::Lock:
            return SessionEvent::Lock;
        case LogindSession::Event::Unlock:
            return SessionEvent::Unlock;
        case LogindSession::Event::Shutdown:
            return SessionEvent::Logout;
    }
    return SessionEvent::Logout;
}
}  // namespace

SessionFollowing::SessionFollowing(Parts parts, QDBusConnection system, QDBusConnection session,
                                   const QString& sessionId)
    : parts_(parts) {
    BridgeBridge* bridge = &parts_.bridge;
    lamps_ =
        std::make_unique<ControllerSessionLamps>(parts_.manual, [bridge] { return !bridge->commandQueue().idle(); });
    actions_ = std::make_unique<SessionActions>(parts_.loop, parts_.defaults, *lamps_);
    actions_->setObserver([this](const std::string& line) { tellDone(line); });
    platform::DefaultsStore* defaults = &parts_.defaults;
    notifications_ = std::make_unique<DesktopNotifications>(session, [defaults] {
        return !defaults->hasObject(DesktopNotifications::enabledKey) ||
               defaults->boolForKey(DesktopNotifications::enabledKey);
    });

    DesktopNotifications* notes = notifications_.get();
    parts_.manual.setSoundTriggerObserver(
        [notes] { notes->notify(tr("The sound trigger fired"), tr("Its preset is on until the quiet period ends.")); });
    parts_.schedules.setRegistrationFailureObserver([notes](const std::string& name, const std::string& why) {
        notes->notify(tr("A schedule is not on the bridge"),
                      tr("The bridge did not take every schedule of \u201c%1\u201d: %2")
                          .arg(QString::fromStdString(name), QString::fromStdString(why)));
    });
    parts_.tools.setUpdateAvailableObserver([notes] {
        notes->notify(tr("A new version of Glowmere is out"), tr("Choose Check for updates to read about it."));
    });

    SessionActions* actions = actions_.get();
    GuiContext* context = &parts_.context;
    logind_ = std::make_unique<LogindSession>(
        system, session, sessionId, [actions, context](LogindSession::Event event, std::function<void()> release) {
            context->post([actions, event, release] { actions->handle(sessionEventOf(event), release); });
        });

    // A log-out, as the desktop's session manager tells of it. The id it
    // gave this process at autostart is this process's own: nothing started
    // from here may register with it.
    const QString startupId = qEnvironmentVariable("DESKTOP_AUTOSTART_ID");
    qunsetenv("DESKTOP_AUTOSTART_ID");
    sessionManager_ = std::make_unique<SessionManagerClient>(
        session, QStringLiteral("org.glowmere.Glowmere"), startupId,
        [this](std::function<void()> done) { logout(std::move(done)); }, parts_.quit);
#if QT_CONFIG(sessionmanager)
    connect(
        qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { commitData(); },
        Qt::DirectConnection);
#endif

    section_ =
        new SessionSection(parts_.defaults, [manual = &parts_.manual] { return manual->lastKnownPresetNames(); });
    parts_.settingsWindow.addSection(section_, tr("Session"));
}

SessionFollowing::~SessionFollowing() {
    parts_.manual.setSoundTriggerObserver(nullptr);
    parts_.schedules.setRegistrationFailureObserver(nullptr);
    parts_.tools.setUpdateAvailableObserver(nullptr);
}

void SessionFollowing::logout(std::function<void()> done) {
    SessionActions* actions = actions_.get();
    parts_.context.post([actions, done = std::move(done)] { actions->handle(SessionEvent::Logout, done); });
}

void SessionFollowing::commitData() {
    // The session manager on the bus tells of the same log-out.
    if (sessionManager_->registered()) return;
    auto done = std::make_shared<std::atomic<bool>>(false);
    logout([done] { done->store(true); });
    // The action lets go after answerWait at the latest; a controller thread
    // held up by the bridge may not start it at once, so the wait ends after
    // twice that, on the same clock.
    platform::Clock& clock = parts_.loop.clock();
    const auto until = clock.now() + 2 * SessionActions::answerWait;
    QEventLoop wait;
    QTimer check;
    connect(&check, &QTimer::timeout, &wait, [&] {
        if (done->load() || clock.now() >= until) wait.quit();
    });
    check.start(SessionActions::answerCheck);
    wait.exec();
}

SessionSection* SessionFollowing::section() const {
    return section_;
}

void SessionFollowing::bridgeStateChanged(ManualController::BridgeState state, const QString& address) {
    using State = ManualController::BridgeState;
    if (state == State::NotReachable)
        notifications_->bridgeAnswers(false, address);
    else if (state == State::Ready || state == State::NoLamps)
        notifications_->bridgeAnswers(true, address);
}

void SessionFollowing::tellDone(const std::string& line) {
    const QString text = QString::fromStdString(line);
    notifications_->notify(text);
    const int generation = ++noteGeneration_;
    auto alive = std::weak_ptr<int>(alive_);
    auto show = [this, alive](const QString& note) {
        postToGui([this, alive, note] {
            if (!alive.lock() || !parts_.statusItem) return;
            if (QtStatusItem* item = parts_.statusItem()) item->showNote(note);
        });
    };
    show(text);
    parts_.loop.schedule(noteShown, [this, alive, generation, show] {
        if (alive.lock() && generation == noteGeneration_) show({});
    });
}

}  // namespace glowmere::gui
