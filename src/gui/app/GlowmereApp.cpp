#include "gui/app/GlowmereApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "bridge/BridgeBridge.h"
#include "controller/BridgeSceneMenus.h"
#include "controller/ControllerSettings.h"
#include "controller/LampShortcuts.h"
#include "controller/ManualController.h"
#include "controls/BridgeBridgeClient.h"
#include "controls/LampControlStrip.h"
#include "gui/adapters/PortalShortcuts.h"
#include "gui/adapters/QtAlerts.h"
#include "gui/adapters/QtApplication.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/adapters/QtStatusItem.h"
#include "gui/adapters/QtText.h"
#include "gui/adapters/QtViewTemplates.h"
#include "gui/adapters/QtWorkspace.h"
#include "gui/app/ControllerThread.h"
#include "gui/app/DBusService.h"
#include "gui/app/GuiContext.h"
#include "gui/app/GuiPart.h"
#include "gui/app/ListeningAndPresets.h"
#include "gui/app/SessionFollowing.h"
#include "gui/app/ToolWindows.h"
#include "gui/widgets/ViewWidgets.h"
#include "gui/widgets/WindowPlacement.h"
#include "gui/windows/AboutDialog.h"
#include "gui/windows/AddressDialog.h"
#include "gui/windows/ApplicationMenu.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/MainWindowWidget.h"
#include "gui/windows/PresetPanels.h"
#include "gui/windows/PushLinkWindow.h"
#include "gui/windows/SettingsWindow.h"
#include "gui/windows/ShortcutsSection.h"
#include "platform/DataFiles.h"
#include "platform/LocalSearch.h"
#include "platform/Log.h"

namespace glowmere::gui {

namespace {
// The controller gets this long to save the settings at quit; a controller
// thread held up by a slow bridge must not keep the application open.
constexpr int quitSaveGraceMs = 2000;

// What a request's path is about, by the name the window shows when the
// lamp or group has a strip ("Küche", "the group Downstairs"), else by its
// number ("lamp 6").
using StripNamer = std::function<std::optional<std::string>(bool group, const std::string& id)>;
QString subjectOf(const std::string& path, const StripNamer& nameOf) {
    const auto parts = QString::fromStdString(path).split('/');
    if (parts.size() < 2 || (parts[0] != "lights" && parts[0] != "groups")) return QObject::tr("the bridge");
    const bool group = parts[0] == "groups";
    const std::optional<std::string> name = nameOf ? nameOf(group, parts[1].toStdString()) : std::nullopt;
    if (name && group) return QObject::tr("the group %1").arg(QString::fromStdString(*name));
    if (name) return QString::fromStdString(*name);
    return group ? QObject::tr("group %1").arg(parts[1]) : QObject::tr("lamp %1").arg(parts[1]);
}

// A bridge's error reply to a change, in plain words for the status line.
QString plainBridgeError(const std::string& path, const std::string& description, const StripNamer& nameOf) {
    const QString text = QString::fromStdString(description);
    const QString what = subjectOf(path, nameOf);
    if (text.contains("set to off", Qt::CaseInsensitive))
        return QObject::tr("The change did not reach %1: it is switched off. Switch it on first.").arg(what);
    if (text.contains("not available", Qt::CaseInsensitive))
        return QObject::tr("The change did not reach %1: it cannot take that setting.").arg(what);
    if (text.contains("unauthorized", Qt::CaseInsensitive))
        return QObject::tr("The bridge no longer knows Glowmere: pair again in Settings → Bridge.");
    return QObject::tr("The bridge refused a change to %1: %2").arg(what, text.left(160));
}
// A warning in a window that waits for nobody (the tests find it by name).
void showNotice(const char* objectName, const QString& text, const QString& informative) {
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Glowmere"), text);
    box->setObjectName(objectName);
    box->setInformativeText(informative);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}
QString plainChangeFailure(const RequestFailure& failure, const StripNamer& nameOf) {
    return QObject::tr("The change did not reach %1: %2")
        .arg(subjectOf(failure.path, nameOf), QString::fromStdString(failure.describe()));
}
}  // namespace

std::string GlowmereApp::supportPageURL() {
    auto page = platform::findDataFile("support.html", platform::runningProgramDirectory());
#ifdef GLOWMERE_SOURCE_RESOURCES
    // Test programs live elsewhere in the build tree: take the source's copy.
    const std::filesystem::path source = std::filesystem::path(GLOWMERE_SOURCE_RESOURCES) / "support.html";
    if (!page && std::filesystem::is_regular_file(source)) page = source;
#endif
    if (!page) return {};
    return QUrl::fromLocalFile(QString::fromStdString(page->string())).toString().toStdString();
}

GlowmereApp::GlowmereApp(Options options) : options_(std::move(options)) {
    makePlatform();
    makeCoreParts();
    makeBridge();
    makeAutostart();
    makeBridgeWindows();
    makeApplication();
    makeManualController();
    makeSchedulesAndTools();
    if (options_.sessionBus) dbus_ = std::make_unique<DBusService>(*this, options_.profile);
    connectShortcuts();
    if (options_.followSession) followSession();
    // Until a paired bridge answers (the other parts enabled theirs above).
    showBridgeCommands(static_cast<int>(ManualController::BridgeState::LookingForBridge));
    reportSettingsProblems();
}

void GlowmereApp::makePlatform() {
    if (!options_.clock) ownClock_ = std::make_unique<platform::SystemClock>();
    clock_ = options_.clock ? options_.clock : ownClock_.get();
    if (!options_.http) ownHttp_ = std::make_unique<platform::CurlHttpClient>();
    http_ = options_.http ? options_.http : ownHttp_.get();
    defaults_ = options_.profile.empty()
                    ? std::make_unique<platform::DefaultsStore>(platform::DefaultsStore::defaultDirectory())
                    : std::make_unique<platform::DefaultsStore>(options_.profile);
}

void GlowmereApp::makeCoreParts() {
    controller_ = std::make_unique<ControllerThread>(*clock_);
    context_ = std::make_unique<GuiContext>(controller_->loop(), *clock_);
    alerts_ = std::make_unique<QtAlerts>(controller_->loop());
    workspace_ = std::make_unique<QtWorkspace>();
    templates_ = std::make_unique<QtViewTemplates>(*context_);
    mainWindow_ = std::make_unique<QtMainWindow>(*context_);
    settings_ = std::make_unique<ControllerSettings>();
}

void GlowmereApp::makeBridge() {
    bridge_ = std::make_unique<BridgeBridge>(*http_, *defaults_, *clock_);
    // With no portal and no stored address, the bridge is looked for on the
    // local network.
    if (!options_.localSearch) ownSearch_ = std::make_unique<platform::SsdpSearch>();
    bridge_->setLocalSearch(options_.localSearch ? options_.localSearch : ownSearch_.get());
    bridgeClient_ = std::make_unique<BridgeBridgeClient>(*bridge_);
}

void GlowmereApp::makeAutostart() {
    // Start at login runs this program hidden, on the same profile.
    std::vector<std::string> loginArguments{"--hidden"};
    if (!options_.profile.empty())
        loginArguments.insert(loginArguments.end(), {"--profile", std::filesystem::absolute(options_.profile)});
    autostart_ = std::make_unique<platform::Autostart>(
        options_.autostartDirectory.empty() ? platform::Autostart::defaultDirectory() : options_.autostartDirectory,
        platform::Autostart::runningProgram(), std::move(loginArguments));
}

void GlowmereApp::makeBridgeWindows() {
    settingsWindow_ = std::make_unique<SettingsWindow>(*context_, *settings_, *bridge_, *http_, autostart_.get());
    pushLinkWindow_ = std::make_unique<PushLinkWindow>();

    bridge_->setPushButtonWindow(&pushLinkWindow_->window());
    bridge_->setThrobber(&pushLinkWindow_->throbber());
    bridge_->setPrefsWindow(&settingsWindow_->window());
    bridge_->setPrefsTabView(&settingsWindow_->tabView());
    bridge_->setAlerts(alerts_.get());
    // The bridge is asked who it is before it gets the user name, over HTTPS
    // where it can; one that moved is followed (the polling finds it gone).
    bridge_->setVerifiesBridge(true);
}

void GlowmereApp::makeApplication() {
    QtStatusItem::Extras extras;
    extras.showSettings = [this] { showSettings(); };
    extras.showHelp = [this] { context_->post([this] { manual_->visitHelp(); }); };
    extras.quit = [this] { requestQuit(); };
    extras.toggleMainWindow = [this] { toggleMainWindow(); };
    QMainWindow* main = mainWindow_->widget();
    application_ = std::make_unique<QtApplication>([main] { return static_cast<QWidget*>(main); },
                                                   [this, main, extras]() -> platform::StatusItem* {
                                                       // Called once, by the controller at launch.
                                                       if (!statusItem_) {
                                                           auto withLamps = extras;
                                                           withLamps.lampsMenu = &manual_->lampsMenu();
                                                           statusItem_ = std::make_unique<QtStatusItem>(*context_, main,
                                                                                                        withLamps);
                                                           postToGui([self = QPointer<GlowmereApp>(this)] {
                                                               if (self) self->showBridgeProblem();
                                                           });
                                                       }
                                                       return statusItem_.get();
                                                   });
    lampsPopUp_ = std::make_unique<platform::PopUpButton>();
}

void GlowmereApp::makeManualController() {
    manual_ = std::make_unique<ManualController>(controller_->loop(), *defaults_, *bridgeClient_, *mainWindow_,
                                                 *templates_, *settings_);
    manual_->setApplication(application_.get());
    manual_->setWorkspace(workspace_.get());
    manual_->setHelpPageURL(supportPageURL());
    manual_->setLampsPopUp(lampsPopUp_.get());
    manual_->setAlerts(alerts_.get());
    connectMainWindow();
}

void GlowmereApp::makeSchedulesAndTools() {
    // The schedule engine: items, their bridge schedules and the daily work.
    location_ = std::make_unique<DefaultsLocation>(*defaults_, platform::TimeZone::local().name());
    schedules_ =
        std::make_unique<ScheduleManager>(*bridge_, *defaults_, controller_->loop(), platform::TimeZone::local());
    schedules_->setLocation(location_.get());
    schedules_->setAlerts(alerts_.get());
    schedules_->setSunServiceClient(http_);
    scheduleEngine_ = std::make_unique<ScheduleManagerEngine>(*schedules_);
    manual_->setScheduleManager(scheduleEngine_.get());
    listening_ = std::make_unique<ListeningAndPresets>(*context_, *manual_, *schedules_, *settings_, *alerts_,
                                                       mainWindow_->widget(), *settingsWindow_);
    listening_->connectCommandBar(mainWindow_->commandBar());
    connectSceneMenus();
    tools_ = std::make_unique<ToolWindows>(ToolWindows::Parts{
        *context_, *clock_, *defaults_, *bridge_, *schedules_, *location_, *lampsPopUp_, *manual_, *alerts_,
        *workspace_, *settingsWindow_, [this] { requestQuit(); }, options_.downloadFolder, options_.positionSource});
    tools_->connectCommandBar(mainWindow_->commandBar());
}

void GlowmereApp::reportSettingsProblems() {
    // Settings that cannot be written are said once, in a window that waits
    // for nobody; the log has every failure.
    defaults_->setSaveFailureObserver([this](const std::string& reason) {
        if (saveFailureShown_.exchange(true)) return;
        postToGui([reason] {
            showNotice("saveFailure", QObject::tr("Glowmere could not save its settings"),
                       qs(reason) + "\n\n" +
                           QObject::tr("What you change is kept while Glowmere runs, and saved as soon as "
                                       "the settings folder can be written again."));
        });
    });
    // A settings file that could not be read was set aside: the user is told
    // where, in a window that waits for nobody, rather than finding the
    // settings gone.
    if (auto aside = defaults_->movedAsideFile()) {
        postToGui([path = aside->string()] {
            showNotice("settingsSetAside", QObject::tr("Glowmere could not read its settings"),
                       QObject::tr("The file was kept as %1 and Glowmere starts with empty settings.").arg(qs(path)));
        });
    }
}

GlowmereApp::~GlowmereApp() {
    profileWatcher_.reset();
    portalShortcuts_.reset();
    if (!shutDown()) {
        platform::log("controller thread did not stop; ending the process");
        std::_Exit(0);
    }
    // The logic goes first: its strips' views are shown by widgets that are
    // still alive and let go of them when they are deleted below.
    dbus_.reset();
    lampShortcuts_.reset();
    session_.reset();
    manual_->setLampsReadObserver({});
    manual_->setPresetMenusObserver({});
    manual_->setSceneRecaller({});
    sceneMenus_.reset();
    listening_.reset();
    manual_->lampsMenu().setObserver(nullptr);
    manual_.reset();
    statusItem_.reset();
    // The widgets let go of with deleteLater() refer to the context and the
    // windows: they go now, while those are alive, not in whatever event
    // loop runs next.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void GlowmereApp::connectSceneMenus() {
    sceneMenus_ = std::make_unique<BridgeSceneMenus>(controller_->loop(), *bridge_, *defaults_,
                                                     manual_->presetPullDown(), manual_->statusMenu());
    sceneMenus_->setAlerts(alerts_.get());
    sceneMenus_->setSoundTriggerChooser(&settings_->soundTriggerPreset);
    sceneMenus_->setInEffectObserver([self = QPointer<GlowmereApp>(this)](const std::string& name) {
        postToGui([self, name = QString::fromStdString(name)] {
            if (self) self->mainWindow_->windowWidget()->showPresetInEffect(name);
        });
    });
    BridgeSceneMenus* menus = sceneMenus_.get();
    manual_->setLampsReadObserver([menus](const Value& lamps) { menus->lampsRead(lamps); });
    manual_->setPresetMenusObserver([menus] { menus->presetMenusRebuilt(); });
    manual_->setSceneRecaller([menus](const std::string& id) { return menus->applyScene(id); });
    listening_->presetPanels().setSceneMenus(menus);
}

void GlowmereApp::start() {
    context_->post([this] {
        schedules_->awakeFromNib();
        listening_->awakeFromNib();
        manual_->awakeFromNib();
        manual_->applicationDidFinishLaunching();
    });
    watchProfile();
    tools_->start();
    if (portalShortcuts_) portalShortcuts_->start();
    // Started by the user, the main window opens; a hidden start (at login)
    // stays in the tray, or opens the window when no tray comes.
    if (!options_.startHidden)
        mainWindow_->makeKeyAndOrderFront();
    else if (!QSystemTrayIcon::isSystemTrayAvailable())
        waitForTray();
}

void GlowmereApp::connectShortcuts() {
    ManualController* manual = manual_.get();
    ListeningAndPresets* listening = listening_.get();
    lampShortcuts_ = std::make_unique<LampShortcuts>(*manual, [manual, listening] {
        if (listening->listenButton().state() == 1)
            manual->stopListening();
        else
            manual->startListeningNow();
    });
    if (options_.sessionBus) {
        std::vector<PortalShortcuts::Shortcut> shortcuts;
        for (const auto& shortcut : LampShortcuts::all())
            shortcuts.push_back({QString::fromUtf8(shortcut.id), tr(shortcut.description)});
        portalShortcuts_ = std::make_unique<PortalShortcuts>(
            QDBusConnection::sessionBus(), std::move(shortcuts), [this](const QString& id) {
                LampShortcuts* run = lampShortcuts_.get();
                onController([run, id = id.toStdString()] {
                    if (!run->run(id))
                        platform::log("the desktop sent an unknown shortcut: " + platform::printable(id));
                });
            });
    }
    settingsWindow_->addSection(new ShortcutsSection(portalShortcuts_.get()), tr("Keyboard shortcuts"));
}

void GlowmereApp::watchProfile() {
    // What other processes (glowmerectl) store reaches the running
    // application: the profile folder is watched (inotify; the file is
    // replaced by a rename, which changes the folder), the store looks at its
    // file when something there changed, and its observers (the schedule
    // list, the presets) take the new values. Nothing wakes while nothing
    // changes.
    profileWatcher_ = std::make_unique<QFileSystemWatcher>();
    const QString folder = QString::fromStdString(defaults_->directory().string());
    if (!profileWatcher_->addPath(folder)) platform::log("cannot watch " + defaults_->directory().string());
    connect(profileWatcher_.get(), &QFileSystemWatcher::directoryChanged, this,
            [this] { context_->post([this] { defaults_->checkForChanges(); }); });
}

void GlowmereApp::waitForTray() {
    // At login the panel that hosts the tray may start after us. Should none
    // come, the window opens, so Glowmere is never running out of reach.
    auto* timer = new QTimer(this);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    connect(timer, &QTimer::timeout, this, [this, timer, waited] {
        const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
        if (!tray && waited->elapsed() < options_.trayWaitMs) return;
        timer->deleteLater();
        timer->stop();
        if (tray) return;
        platform::log("no system tray came up; opening the main window");
        mainWindow_->makeKeyAndOrderFront();
    });
    timer->start(std::min(500, options_.trayWaitMs));
}

void GlowmereApp::showSettings() {
    // The first time in the middle of the screen; fully on it always.
    if (!settingsShown_) centerOnScreen(settingsWindow_.get());
    settingsShown_ = true;
    bringToFront(settingsWindow_.get());
}

void GlowmereApp::toggleMainWindow() {
    QMainWindow* window = mainWindow_->widget();
    if (window->isVisible() && !window->isMinimized() && window->isActiveWindow())
        mainWindow_->orderOut();
    else
        mainWindow_->makeKeyAndOrderFront();
}

void GlowmereApp::showAbout() {
    if (!aboutDialog_) aboutDialog_ = new AboutDialog(mainWindow_->widget());
    aboutDialog_->show();
    aboutDialog_->raise();
    aboutDialog_->activateWindow();
}

void GlowmereApp::showBridgeCommands(int state) {
    using State = ManualController::BridgeState;
    using Command = CommandBar::Command;
    const auto s = static_cast<State>(state);
    const bool paired = s == State::Ready || s == State::NoLamps;
    CommandBar& bar = mainWindow_->commandBar();
    for (Command command :
         {Command::Presets, Command::MakeGroup, Command::RemoveGroup, Command::SearchForNewBulbs, Command::Explorer}) {
        QAction* action = bar.action(command);
        action->setEnabled(paired);
        QString why;
        if (s == State::NotPaired)
            why = QObject::tr("%1 needs Glowmere to be paired with the bridge first");
        else if (s == State::NotReachable)
            why = QObject::tr("%1 needs the bridge, which does not answer");
        else if (!paired)
            why = QObject::tr("%1 needs a bridge; none has been found yet");
        action->setToolTip(paired ? CommandBar::label(command) : why.arg(CommandBar::label(command)));
    }
}

void GlowmereApp::mainWindowClosed() {
    if (quitRequested_ || defaults_->boolForKey(closeNoticeShownKey)) return;
    defaults_->setObject(closeNoticeShownKey, true);
    const QString title = QObject::tr("Glowmere is still running");
    QSystemTrayIcon* tray = statusItem_ ? statusItem_->trayIcon() : nullptr;
    if (tray && tray->isVisible()) {
        // A desktop notification from the tray icon, where the window went.
        tray->showMessage(title,
                          QObject::tr("It keeps your schedules and sound trigger running from the tray. To quit, "
                                      "choose Quit Glowmere in the tray menu, or press Ctrl+Q in its window."),
                          QSystemTrayIcon::Information, 10000);
        return;
    }
    // Without a tray, a small message that waits for nobody.
    auto* box = new QMessageBox(QMessageBox::Information, QObject::tr("Glowmere"), title);
    box->setObjectName("closeNotice");
    box->setInformativeText(
        QObject::tr("It keeps your schedules and sound trigger running. Start Glowmere again to show its window; "
                    "to quit, press Ctrl+Q in its window or choose Glowmere → Quit."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void GlowmereApp::connectMainWindow() {
    makeMenuAndAddressDialog();
    connectCommands();
    connectStripArrangement();
    connectBridgeButtons();
    showBridgeStateInWindow();
    reportBridgeFailures();
    connectPairing();
}

void GlowmereApp::makeMenuAndAddressDialog() {
    CommandBar& bar = mainWindow_->commandBar();
    QMainWindow* main = mainWindow_->widget();
    applicationMenu_ = new ApplicationMenu(main, bar.action(CommandBar::Command::Settings), bar.menu()->menuAction(),
                                           {[this] { context_->post([this] { manual_->visitHelp(); }); },
                                            [this] { showAbout(); }, [this] { requestQuit(); }});
    addressDialog_ = new AddressDialog(
        *context_,
        [this](const std::string& text) {
            // The settings window's own check: only an address where a
            // bridge answers is taken (and stored); taking a new one builds
            // the strips again, pairing first when there is no user name.
            const auto before = bridge_->bridgeIP();
            settingsWindow_->manualAddress().setStringValue(text);
            settingsWindow_->manualAddress().sendAction();
            const auto address = normalizedBridgeAddress(text);
            AddressDialog::Outcome outcome;
            outcome.taken = address && bridge_->bridgeIP() == address;
            outcome.message = settingsWindow_->bridgeStatus().stringValue();
            // The same address again: ask it again now.
            if (outcome.taken && before == address) manual_->retryBridge();
            return outcome;
        },
        main);
}

void GlowmereApp::connectCommands() {
    using Command = CommandBar::Command;
    CommandBar& bar = mainWindow_->commandBar();
    mainWindow_->windowWidget()->closedByUser = [this] { mainWindowClosed(); };
    bar.connect(Command::Settings, [this] { showSettings(); });
    bar.connect(Command::MakeGroup, [this] { context_->post([this] { manual_->makeGroupStep1(); }); });
    bar.connect(Command::RemoveGroup, [this] { context_->post([this] { manual_->removeGroupStep1(); }); });
    auto search = [this] { context_->post([this] { manual_->discoverNewBulbs(); }); };
    bar.connect(Command::SearchForNewBulbs, search);

    MainWindowWidget* window = mainWindow_->windowWidget();
    QObject::connect(window->emptySearchButton, &QPushButton::clicked, window, search);
}

void GlowmereApp::connectStripArrangement() {
    MainWindowWidget* window = mainWindow_->windowWidget();
    // Hiding and moving strips from their context menu; the View menu
    // brings hidden ones back.
    setStripArrangementHandler(
        [self = QPointer<GlowmereApp>(this), this](std::shared_ptr<platform::View> strip, StripArrangement what) {
            if (!self) return;
            context_->post([this, strip, what] {
                LampControlStrip* target = manual_->stripForView(strip.get());
                if (what == StripArrangement::Hide)
                    manual_->hideStrip(target);
                else
                    manual_->moveStrip(target, what == StripArrangement::MoveLeft ? -1 : 1);
            });
        });
    setStripFoldingAllowed([self = QPointer<GlowmereApp>(this), settings = settings_.get()] {
        return !self || settings->allowFold.state() == 1;
    });
    QMenu* view = window->menuBar()->addMenu(QObject::tr("&View"));
    QAction* showHidden = view->addAction(QObject::tr("Show hidden strips"));
    QObject::connect(showHidden, &QAction::triggered, window,
                     [this] { context_->post([this] { manual_->showHiddenStrips(); }); });
}

void GlowmereApp::retryAsked() {
    // Retry and pairing again are the user's asking: pairing may start again.
    pairingCancelled_ = false;
    bridge_->allowLogin();
    context_->post([this] { manual_->retryBridge(); });
}

void GlowmereApp::connectBridgeButtons() {
    MainWindowWidget* window = mainWindow_->windowWidget();
    auto retry = [this] { retryAsked(); };
    QObject::connect(window->retryButton, &QPushButton::clicked, window, retry);
    QObject::connect(window->emptyPairButton, &QPushButton::clicked, window, retry);
    QObject::connect(window->searchAgainButton, &QPushButton::clicked, window, [this] {
        pairingCancelled_ = false;
        bridge_->allowLogin();
        context_->post([this] { manual_->searchAgain(); });
    });
    for (QPushButton* button : {window->enterAddressButton, window->bannerAddressButton})
        QObject::connect(button, &QPushButton::clicked, window, [this] {
            // Typing an address is asking to pair with what answers there.
            pairingCancelled_ = false;
            bridge_->allowLogin();
            addressDialog_->ask();
        });
    QObject::connect(window->bridgeSettingsButton, &QPushButton::clicked, window, [this] {
        showSettings();
        settingsWindow_->showBridgeTab();
    });
}

void GlowmereApp::showBridgeStateInWindow() {
    // While looking: what is being asked now.
    bridge_->setDiscoveryObserver(
        [self = QPointer<GlowmereApp>(this)](BridgeBridge::DiscoveryStep step, const std::string& where) {
            const QString text = step == BridgeBridge::DiscoveryStep::Portal
                                     ? QObject::tr("Asking the discovery portal at %1…").arg(qs(where))
                                     : QObject::tr("Searching this network (%1)…").arg(qs(where));
            postToGui([self, text] {
                if (self) self->mainWindow_->windowWidget()->showDiscoveryStep(text);
            });
        });
    manual_->setBridgeStateObserver([this](ManualController::BridgeState state, const std::string& address) {
        postToGui([this, self = QPointer<GlowmereApp>(this), state, address = QString::fromStdString(address)] {
            if (!self) return;
            mainWindow_->windowWidget()->showBridgeState(static_cast<MainWindowWidget::BridgeState>(state), address);
            showBridgeCommands(static_cast<int>(state));
            if (session_) session_->bridgeStateChanged(state, address);
            bridgeProblem_ = state == ManualController::BridgeState::NotReachable
                                 ? QObject::tr("Bridge not reachable at %1").arg(address)
                                 : QString();
            showBridgeProblem();
        });
    });
}

void GlowmereApp::reportBridgeFailures() {
    // An error reply to a change shows in the status line for a while.
    bridge_->setErrorObserver([self = QPointer<GlowmereApp>(this)](const std::string& method, const std::string& path,
                                                                   const std::string& description) {
        if (method == "GET") return;
        // Worded on the window thread, where the strips' names can be asked.
        postToGui([self, path, description] {
            if (self)
                self->mainWindow_->windowWidget()->showStatusMessage(
                    plainBridgeError(path, description, self->stripNamer()));
        });
    });

    // Any other failed change (an HTTP error page, no reply in time, a busy
    // bridge), and a reply to a reading that no bridge gives, also shows
    // there with its reason; a bridge that does not answer at all gets the
    // banner instead.
    bridge_->observeFailures([self = QPointer<GlowmereApp>(this)](const RequestFailure& failure) {
        using Kind = RequestFailure::Kind;
        if (failure.kind == Kind::BridgeError || failure.kind == Kind::NotPaired || failure.kind == Kind::NoAddress)
            return;
        QString message;
        if (failure.method != "GET") {
            postToGui([self, failure] {
                if (self)
                    self->mainWindow_->windowWidget()->showStatusMessage(
                        plainChangeFailure(failure, self->stripNamer()));
            });
            return;
        } else if (failure.kind == Kind::HttpStatus || failure.kind == Kind::NotJson ||
                   failure.kind == Kind::TooLarge || failure.kind == Kind::TooManyMembers) {
            const QString what = failure.path == "lights"   ? QObject::tr("the lamps")
                                 : failure.path == "groups" ? QObject::tr("the groups")
                                                            : QString::fromStdString(failure.path);
            message = QObject::tr("Could not read %1: %2").arg(what, QString::fromStdString(failure.describe()));
        } else {
            return;
        }
        postToGui([self, message] {
            if (self) self->mainWindow_->windowWidget()->showStatusMessage(message);
        });
    });
}

void GlowmereApp::connectPairing() {
    // A bridge that moved, another bridge at the address, a certificate that
    // changed: said in the status line; another bridge is offered for pairing.
    bridge_->setLinkObserver([self = QPointer<GlowmereApp>(this), this](
                                 BridgeBridge::LinkEvent event, const std::string& from, const std::string& to) {
        using Event = BridgeBridge::LinkEvent;
        QString message;
        if (event == Event::Moved)
            message = QObject::tr("the bridge moved from %1 to %2")
                          .arg(QString::fromStdString(from), QString::fromStdString(to));
        if (event == Event::KeyChanged)
            message = QObject::tr(
                          "The bridge at %1 shows a new certificate: nothing was sent. Settings → Trust the "
                          "new certificate, if the bridge was reset or replaced")
                          .arg(QString::fromStdString(from));
        if (event == Event::OtherBridge) {
            message = QObject::tr("The bridge at %1 is not the one Glowmere is paired with")
                          .arg(QString::fromStdString(from));
            bool ask = false;
            {
                // Asked once per address: polling meets it every cycle.
                std::lock_guard lock(otherBridgeMutex_);
                ask = otherBridgeAskedAbout_ != from;
                otherBridgeAskedAbout_ = from;
            }
            if (ask) {
                platform::AlertSpec alert;
                alert.message = message.toStdString();
                alert.informativeText =
                    "Glowmere sends it nothing. Pair with it to use it instead (press its link button), or give the "
                    "address of your bridge in Settings.";
                alert.defaultButton = "Pair with it";
                alert.alternateButton = "Not now";
                alerts_->ask(alert, [self, this](platform::AlertResponse answer) {
                    if (!self || answer != platform::AlertResponse::Default) return;
                    bridge_->pairWithBridgeAtAddress();
                });
            }
        }
        context_->post([self, this] {
            if (self) settingsWindow_->showConnection();
        });
        postToGui([self, message] {
            if (self) self->mainWindow_->windowWidget()->showStatusMessage(message);
        });
    });

    // Pairing: Cancel stops it (and nothing pairs again until the user asks);
    // when the attempts ran out the window says so and offers Try again.
    pushLinkWindow_->onCancel = [this] {
        pairingCancelled_ = true;
        bridge_->cancelLogin();
    };
    pushLinkWindow_->onTryAgain = [this] { retryAsked(); };
    // A new address (or pairing again) rebuilds against the bridge at once,
    // once the command that changed it has answered (a rebuild may wait for
    // the link button).
    settingsWindow_->setBridgeChangedHandler([this] { context_->post([this] { manual_->refreshSetUp(); }); });
    bridge_->setLoginObserver([this](int attempt) {
        if (attempt == 0)
            postToGui([self = QPointer<GlowmereApp>(this)] {
                if (self) self->pushLinkWindow_->showWaiting();
            });
    });
    bridge_->setLoginEndObserver([this](bool paired) {
        postToGui([this, self = QPointer<GlowmereApp>(this), paired] {
            if (!self) return;
            if (paired) {
                pushLinkWindow_->hide();
                // The strips come next: the main window shows them.
                mainWindow_->makeKeyAndOrderFront();
            } else if (!pairingCancelled_) {
                pushLinkWindow_->showFailed();
            }
        });
    });
}

std::function<std::optional<std::string>(bool, const std::string&)> GlowmereApp::stripNamer() const {
    ManualController* manual = manual_.get();
    if (!manual) return {};
    return [manual](bool group, const std::string& id) { return manual->nameForID(group, id); };
}

void GlowmereApp::followSession() {
    // Tests hand in private buses; the application uses the user's.
    // A private bus gets a connection of its own name: a later application
    // in the same process (tests) must not be handed this one's.
    static std::atomic<int> connections{0};
    const QString suffix = QString::number(++connections);
    auto bus = [&suffix](const QString& address, QDBusConnection::BusType type, const char* name) {
        return address.isEmpty()
                   ? (type == QDBusConnection::SystemBus ? QDBusConnection::systemBus() : QDBusConnection::sessionBus())
                   : QDBusConnection::connectToBus(address, QString(name) + suffix);
    };
    QString id = options_.logindSessionId;
    if (id.isEmpty()) id = qEnvironmentVariable("XDG_SESSION_ID", "auto");
    session_ = std::make_unique<SessionFollowing>(
        SessionFollowing::Parts{*context_, controller_->loop(), *defaults_, *manual_, *bridge_, *schedules_, *tools_,
                                *settingsWindow_, [this] { return statusItem_.get(); }, [this] { requestQuit(); }},
        bus(options_.systemBusAddress, QDBusConnection::SystemBus, "glowmere-session-system"),
        bus(options_.sessionBusAddress, QDBusConnection::SessionBus, "glowmere-session-session"), id);
}

void GlowmereApp::showBridgeProblem() {
    if (statusItem_) statusItem_->showProblem(bridgeProblem_);
}

void GlowmereApp::onController(std::function<void()> work) {
    context_->post(std::move(work));
}

void GlowmereApp::saveSettingsOnce() {
    if (saving_.exchange(true)) return;
    manual_->applicationShouldTerminate();
    settingsSaved_ = true;
}

void GlowmereApp::requestQuit() {
    // An open question closes unanswered: a quit never carries out what it asked.
    alerts_->shutDown();
    // exit(), not quit(): quit() first closes every window, and one that
    // refuses (an editor that decides for itself) would keep the run going.
    if (quitRequested_.exchange(true)) {
        // A second request always ends the run, whatever holds the first up.
        platform::log("quit requested again; quitting now");
        // A save the controller began is let finish (it takes milliseconds).
        QDeadlineTimer deadline(500);
        while (saving_ && !settingsSaved_ && !deadline.hasExpired()) QThread::msleep(5);
        saveSettingsOnce();
        QCoreApplication::exit(0);
        return;
    }
    context_->post([this] {
        saveSettingsOnce();
        postToGui([] { QCoreApplication::exit(0); });
    });
    // A controller thread stuck in a request would hold the quit up; after a
    // grace period the settings are saved from here instead. The store and
    // the settings controls are safe to use from any thread.
    QTimer::singleShot(quitSaveGraceMs, this, [this] {
        if (settingsSaved_) return;
        platform::log("controller busy at quit; saving the settings from the window thread");
        saveSettingsOnce();
        QCoreApplication::exit(0);
    });
}

bool GlowmereApp::shutDown() {
    if (shutDown_) return true;
    alerts_->shutDown();
    tools_->shutDown();
    if (!controller_->stop()) return false;
    manual_->stopBackgroundThreads();
    shutDown_ = true;
    return true;
}

}  // namespace glowmere::gui
