#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "controller/ScheduleManagerEngine.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/DefaultsStore.h"
#include "platform/HttpClient.h"
#include "platform/LocalSearch.h"
#include "schedules/Location.h"
#include "schedules/ScheduleManager.h"

class QFileSystemWatcher;
class QGeoPositionInfoSource;

namespace glowmere {
class BridgeBridge;
class BridgeBridgeClient;
class BridgeSceneMenus;
class ControllerSettings;
class LampShortcuts;
class ManualController;
}  // namespace glowmere

namespace glowmere::gui {

class AboutDialog;
class AddressDialog;
class ApplicationMenu;
class ControllerThread;
class DBusService;
class GuiContext;
class ListeningAndPresets;
class PortalShortcuts;
class PushLinkWindow;
class QtAlerts;
class QtApplication;
class QtMainWindow;
class QtStatusItem;
class QtViewTemplates;
class QtWorkspace;
class ToolWindows;
class SettingsWindow;
class SessionFollowing;

// The composition root: makes the platform objects, the bridge client, the
// main controller and the windows, connects them and runs start-up on the
// controller thread. Made and destroyed on the Qt thread, with a
// QApplication alive.
class GlowmereApp : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The defaults store's directory.
        std::filesystem::path profile;
        // Injected for tests; the real ones otherwise.
        platform::Clock* clock = nullptr;
        platform::HttpClient* http = nullptr;
        // The search of the local network for a bridge; a real one otherwise.
        platform::LocalSearch* localSearch = nullptr;
        // Answer on the session bus (the application does; tests need not).
        bool sessionBus = false;
        // The main window opens at start, unless the start is hidden
        // (--hidden, as at login): then Glowmere starts in the tray, and when
        // there is no tray yet, waits up to trayWaitMs for one before
        // opening the main window.
        bool startHidden = false;
        int trayWaitMs = 30000;
        // Where the start-at-login entry goes; empty: the desktop's folder.
        std::filesystem::path autostartDirectory;
        // Tests: where downloaded updates go, and the location service's source.
        std::optional<std::filesystem::path> downloadFolder;
        std::function<QGeoPositionInfoSource*(QObject* parent)> positionSource;
        // Follow the desktop session (logind, the screen saver) and show
        // desktop notifications (the application does). The buses are the
        // user's own unless addresses are given (tests' private ones), and
        // the session logind's id (empty: XDG_SESSION_ID, else "auto").
        bool followSession = false;
        QString systemBusAddress;
        QString sessionBusAddress;
        QString logindSessionId;
    };

    explicit GlowmereApp(Options options);
    ~GlowmereApp() override;

    // Runs start-up on the controller thread (awakeFromNib, then
    // applicationDidFinishLaunching) and opens the main window when the
    // desktop has no tray.
    void start();
    // The orderly quit: the controller saves the settings
    // (applicationShouldTerminate), then the Qt loop ends. Safe to call more
    // than once; used by the menu and by SIGTERM/SIGINT.
    void requestQuit();
    // After the Qt loop ended: stops the controller thread and the
    // background loops. False when the controller thread is stuck in a
    // request; the caller ends the process then (the settings are saved).
    bool shutDown();
    // Opens the settings window, fully on the screen (Qt thread).
    void showSettings();
    // The tray icon's left click: shows the main window, or hides it when
    // it is already in front (Qt thread).
    void toggleMainWindow();
    // "About Glowmere" (Qt thread).
    void showAbout();
    // Defaults key: the user was told once that closing the main window
    // leaves Glowmere running.
    static constexpr const char* closeNoticeShownKey = "closeToTrayNoticeShown";
    bool quitRequested() const { return quitRequested_; }
    bool settingsSaved() const { return settingsSaved_; }

    // Runs `work` on the controller thread and hands its result to `done`
    // on the Qt thread.
    void onController(std::function<void()> work);

    ManualController& manualController() { return *manual_; }
    ControllerSettings& controllerSettings() { return *settings_; }
    ScheduleManager& scheduleManager() { return *schedules_; }
    BridgeBridge& bridge() { return *bridge_; }
    platform::DefaultsStore& defaults() { return *defaults_; }
    QtMainWindow& mainWindow() { return *mainWindow_; }
    SettingsWindow& settingsWindow() { return *settingsWindow_; }
    PushLinkWindow& pushLinkWindow() { return *pushLinkWindow_; }
    // "Enter address…" (made with the main window; Qt thread).
    AddressDialog& addressDialog() { return *addressDialog_; }
    ApplicationMenu& applicationMenu() { return *applicationMenu_; }
    // Shown by showAbout(); none before.
    AboutDialog* aboutDialog() const { return aboutDialog_; }
    QtAlerts& alerts() { return *alerts_; }
    QtWorkspace& workspace() { return *workspace_; }
    QtStatusItem* statusItem() const { return statusItem_.get(); }
    // Presets and listening: the listener, the listen button, the panels.
    ListeningAndPresets& listening() { return *listening_; }
    // The bridge's scenes in the preset menus and the preset in effect.
    BridgeSceneMenus& sceneMenus() { return *sceneMenus_; }
    // The session-bus service; none unless Options::sessionBus.
    DBusService* dbusService() const { return dbus_.get(); }
    // The commands of the desktop's global shortcuts (run on the controller
    // thread), and their registration with the desktop (none unless
    // Options::sessionBus).
    LampShortcuts& lampShortcuts() { return *lampShortcuts_; }
    PortalShortcuts* portalShortcuts() const { return portalShortcuts_.get(); }
    // The lamps following the session; none unless Options::followSession.
    SessionFollowing* sessionFollowing() const { return session_.get(); }
    GuiContext& context() { return *context_; }
    ControllerThread& controllerThread() { return *controller_; }
    // The schedule window, the explorer, the update check, the position.
    ToolWindows& tools() { return *tools_; }
    platform::Clock& clock() { return *clock_; }
    platform::Autostart& autostart() { return *autostart_; }
    // The help page that ships with the application (file:// URL).
    static std::string supportPageURL();

private:
    // The constructor's steps, in the order the parts depend on each other.
    // The clock, the HTTP client and the settings store (injected or real).
    void makePlatform();
    // The controller thread, the window context and the main window's parts.
    void makeCoreParts();
    void makeBridge();
    // The start-at-login entry, on the same profile.
    void makeAutostart();
    // The settings and pairing windows, which the bridge shows.
    void makeBridgeWindows();
    // The application object and, once the controller asks, the tray icon.
    void makeApplication();
    void makeManualController();
    // The schedule engine, listening and presets, and the tool windows.
    void makeSchedulesAndTools();
    // Settings that cannot be written or read are said in windows that
    // wait for nobody.
    void reportSettingsProblems();
    void saveSettingsOnce();
    // The global shortcuts' commands, their registration with the desktop
    // and their section in the settings window.
    void connectShortcuts();
    void waitForTray();
    void watchProfile();
    // The command bar, banner, empty states and pairing window (Qt thread).
    void connectMainWindow();
    // Its steps: the application menu and the address dialog; the command
    // bar's commands; hiding and moving strips; the banner's and empty
    // states' buttons; the bridge's state and discovery steps shown; failed
    // requests reported in the status line; the pairing window.
    void makeMenuAndAddressDialog();
    void connectCommands();
    void connectStripArrangement();
    void connectBridgeButtons();
    void showBridgeStateInWindow();
    void reportBridgeFailures();
    void connectPairing();
    // Retry, or pairing again: the user asks, so pairing may start again.
    void retryAsked();
    // The bridge's scenes in the preset menus, the preset in effect in the
    // status line, and "Also keep on the bridge" in the presets panel.
    void connectSceneMenus();
    void showBridgeProblem();
    // Makes the session's part: logind, the screen saver, notifications.
    void followSession();
    // The commands that need the bridge are enabled only while a paired
    // bridge answers; otherwise their tooltip says why (Qt thread).
    void showBridgeCommands(int state);
    // The first close of the main window says, once, that Glowmere goes on
    // running and how to quit it.
    void mainWindowClosed();
    // Names lamps and groups as the strips do, for messages (window thread,
    // used at once).
    std::function<std::optional<std::string>(bool, const std::string&)> stripNamer() const;

    Options options_;
    std::unique_ptr<platform::SystemClock> ownClock_;
    std::unique_ptr<platform::CurlHttpClient> ownHttp_;
    std::unique_ptr<platform::LocalSearch> ownSearch_;
    platform::Clock* clock_;
    platform::HttpClient* http_;
    std::unique_ptr<platform::DefaultsStore> defaults_;
    std::unique_ptr<QFileSystemWatcher> profileWatcher_;
    std::unique_ptr<ControllerThread> controller_;
    std::unique_ptr<GuiContext> context_;
    std::unique_ptr<QtAlerts> alerts_;
    std::unique_ptr<QtWorkspace> workspace_;
    std::unique_ptr<QtViewTemplates> templates_;
    std::unique_ptr<QtMainWindow> mainWindow_;
    std::unique_ptr<ControllerSettings> settings_;
    std::unique_ptr<platform::Autostart> autostart_;
    std::unique_ptr<BridgeBridge> bridge_;
    std::unique_ptr<BridgeBridgeClient> bridgeClient_;
    std::unique_ptr<SettingsWindow> settingsWindow_;
    std::unique_ptr<PushLinkWindow> pushLinkWindow_;
    AddressDialog* addressDialog_ = nullptr;      // a child of the main window
    ApplicationMenu* applicationMenu_ = nullptr;  // a child of the main window
    AboutDialog* aboutDialog_ = nullptr;          // a child of the main window
    std::unique_ptr<QtStatusItem> statusItem_;
    std::unique_ptr<QtApplication> application_;
    std::unique_ptr<platform::PopUpButton> lampsPopUp_;
    std::unique_ptr<ManualController> manual_;
    std::unique_ptr<DefaultsLocation> location_;
    std::unique_ptr<ScheduleManager> schedules_;
    std::unique_ptr<ScheduleManagerEngine> scheduleEngine_;
    std::unique_ptr<ListeningAndPresets> listening_;
    std::unique_ptr<BridgeSceneMenus> sceneMenus_;
    std::unique_ptr<DBusService> dbus_;
    std::unique_ptr<LampShortcuts> lampShortcuts_;
    std::unique_ptr<PortalShortcuts> portalShortcuts_;
    std::unique_ptr<SessionFollowing> session_;
    std::unique_ptr<ToolWindows> tools_;
    std::mutex otherBridgeMutex_;
    std::string otherBridgeAskedAbout_;  // the address "not the paired bridge" was asked about
    std::atomic<bool> quitRequested_{false};
    std::atomic<bool> settingsSaved_{false};
    std::atomic<bool> saving_{false};
    std::atomic<bool> saveFailureShown_{false};
    bool shutDown_ = false;
    QString bridgeProblem_;
    bool settingsShown_ = false;
    std::atomic<bool> pairingCancelled_{false};
};

}  // namespace glowmere::gui
