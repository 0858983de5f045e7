#include "gui/app/ToolWindows.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <cstdio>

#include "bridge/bridgeExplorer.h"
#include "controller/ManualController.h"
#include "controls/LampControlStrip.h"
#include "gui/widgets/WindowPlacement.h"
#include "gui/windows/ActionEditor.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/ExplorerWindow.h"
#include "gui/windows/LocationSection.h"
#include "gui/windows/SchedulesWindow.h"
#include "gui/windows/SettingsWindow.h"
#include "gui/windows/UpdateWindow.h"
#include "platform/Version.h"
#include "schedules/Location.h"
#include "schedules/LocationSettings.h"
#include "schedules/ScheduleManager.h"
#include "schedules/ScheduleWindow.h"
#include "update/UpdateFiles.h"
#include "update/UpdateWindowController.h"

namespace glowmere::gui {

ToolWindows::ToolWindows(Parts parts)
    : parts_(std::move(parts)), lastPosition_(std::make_shared<std::optional<GeoPosition>>()) {
    setUpSchedules();
    explorer_ = std::make_unique<bridgeExplorer>(parts_.bridge);
    explorerWindow_ = std::make_unique<ExplorerWindow>(*explorer_, parts_.context);
    setUpUpdate();
    setUpLocation();
}

void ToolWindows::setUpSchedules() {
    scheduleWindow_ = std::make_unique<ScheduleWindow>(parts_.schedules, parts_.bridge, parts_.defaults);
    scheduleWindow_->setLampsPopUp(&parts_.lampsPopUp);
    scheduleWindow_->setAlerts(&parts_.alerts);
    ManualController* manual = &parts_.manual;
    scheduleWindow_->setLampIdentifier([manual](int tag, bool group) { return manual->IDforTagGroup(tag, group); });
    scheduleWindow_->setLocationStarter([manual] { manual->turnOnLocationManagerIfNecessary(); });
    // Items another process (glowmerectl) stored show up in the open list.
    ScheduleWindow* logic = scheduleWindow_.get();
    parts_.schedules.setListChangedHandler([logic] { logic->reloadData(); });
    schedulesWindow_ = std::make_unique<SchedulesWindow>(*scheduleWindow_, parts_.context);
    scheduleWindow_->setScheduleWindow(&schedulesWindow_->window());
    scheduleWindow_->setEditorWindow(&schedulesWindow_->editor().window());
    scheduleWindow_->setProgressIndicator(&schedulesWindow_->progress());
}

void ToolWindows::setUpUpdate() {
    update_ = std::make_unique<UpdateWindowController>(downloader_, parts_.defaults, std::string(platform::version()));
    updateWindow_ = std::make_unique<UpdateWindow>(*update_);
    update_->setUpdateWindow(&updateWindow_->window());
    update_->setWorkspace(&parts_.workspace);
    update_->setDownloadFolder(
        parts_.downloadFolder
            ? *parts_.downloadFolder
            : std::filesystem::path(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString()));
    QPointer<ToolWindows> guard(this);
    update_->setTerminate([guard] {
        postToGui([guard] {
            if (guard && guard->parts_.quit) guard->parts_.quit();
        });
    });
    connect(updateWindow_.get(), &UpdateWindow::downloadRequested, this,
            [this] { runUpdateWork([this] { update_->loadUpdate(); }); });
    connect(updateWindow_.get(), &UpdateWindow::visitRequested, this, [this] { update_->visitUpdate(); });
    connect(updateWindow_.get(), &UpdateWindow::notNowRequested, this, [this] { update_->notNow(); });
    connect(updateWindow_.get(), &UpdateWindow::skipRequested, this, [this] { update_->skipThisVersion(); });
    connect(updateWindow_.get(), &UpdateWindow::showInFolderRequested, this,
            [this](const QString& file) { showInFolder(file); });
    std::error_code noLink;
    update_->setInstalledFromPackage(
        update::installedFromDebianPackage(std::filesystem::read_symlink("/proc/self/exe", noLink)));
}

void ToolWindows::showInFolder(const QString& file) {
    // The desktop's file manager with the file selected where it offers
    // that on the session bus; the folder in the default handler otherwise.
    const QString folder = QFileInfo(file).absolutePath();
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder] {
        watcher->deleteLater();
        if (watcher->isError()) parts_.workspace.openURL(QUrl::fromLocalFile(folder).toString().toStdString());
    });
}

void ToolWindows::setUpLocation() {
    // Position for sun times: the settings section and the location service.
    locationSettings_ = std::make_unique<LocationSettings>(parts_.location, parts_.clock, parts_.schedules.timeZone());
    ScheduleManager* schedules = &parts_.schedules;
    locationSettings_->setFallbackPosition([schedules] {
        return GeoPosition{schedules->latitude(), schedules->longitude(), 0};
    });
    auto last = lastPosition_;
    locationSettings_->setPositionChangedHandler([schedules, last](const ChosenPosition& chosen) {
        schedules->locationManagerDidUpdateToLocationFromLocation(chosen.position, *last);
        *last = chosen.position;
        // Today's stored times follow the new position at once.
        schedules->updateSunTimes();
    });
    locationSection_ = new LocationSection(*locationSettings_, parts_.context);
    parts_.settings.tabs()->addTab(locationSection_, tr("Location"));
    locationService_ = std::make_unique<QtLocationService>(
        [this](const GeoPosition& position) { positionReported(position); }, parts_.positionSource);
    QPointer<ToolWindows> guard(this);
    parts_.manual.setLocationServiceStarter([guard] {
        postToGui([guard] {
            if (guard) guard->locationService_->start();
        });
    });
}

ToolWindows::~ToolWindows() {
    shutDown();
    parts_.schedules.setListChangedHandler(nullptr);
    // The section lives in the settings window; it must not outlive its logic.
    delete locationSection_.data();
}

void ToolWindows::positionReported(const GeoPosition& position) {
    DefaultsLocation* location = &parts_.location;
    ScheduleManager* schedules = &parts_.schedules;
    LocationSettings* settings = locationSettings_.get();
    auto last = lastPosition_;
    parts_.context.post([location, schedules, settings, last, position] {
        // An entered position wins: the report is then not used.
        if (location->takeServicePosition(position)) {
            schedules->locationManagerDidUpdateToLocationFromLocation(position, *last);
            *last = position;
        }
        settings->refresh();
    });
}

void ToolWindows::start() {
    ScheduleWindow* window = scheduleWindow_.get();
    parts_.context.post([window] { window->reloadData(); });
    runUpdateWork([this] {
        if (update_->checkForUpdates() == UpdateWindowController::CheckResult::Newer && updateAvailable_)
            updateAvailable_();
    });
}

void ToolWindows::runUpdateWork(std::function<void()> work) {
    if (updateBusy_.exchange(true)) return;
    if (updateThread_.joinable()) updateThread_.join();  // finished: it cleared the flag
    updateThread_ = std::thread([this, work = std::move(work)] {
        work();
        updateBusy_ = false;
    });
}

void ToolWindows::shutDown() {
    update_->cancel();
    if (updateThread_.joinable()) updateThread_.join();
}

LocationSection* ToolWindows::locationSection() const {
    return locationSection_.data();
}

void ToolWindows::showSchedules() {
    schedulesWindow_->showWindow();
}

void ToolWindows::showExplorer() {
    explorerWindow_->showAndLoad();
}

void ToolWindows::saveScreenshots(const QStringList& names, const QString& base) {
    if (names.isEmpty()) return;
    const QString name = names.front();
    QWidget* shown = nullptr;
    if (name == "schedules") {
        showSchedules();
        shown = schedulesWindow_.get();
    } else if (name == "editor" || name == "editor-colour") {
        // "editor-colour": with "Also set colour and brightness" ticked.
        showSchedules();
        ScheduleWindow* logic = scheduleWindow_.get();
        const bool colour = name == "editor-colour";
        parts_.context.post([logic, colour] {
            logic->create();
            if (!colour) return;
            logic->btnColourBrightness().setState(1);
            logic->btnColourBrightness().sendAction();
        });
        shown = &schedulesWindow_->editor();
    } else if (name == "explorer" || name.startsWith("explorer=")) {
        // "explorer=TEXT": with TEXT in the filter field.
        showExplorer();
        explorerWindow_->filterField()->setText(name.section('=', 1));
        shown = explorerWindow_.get();
    } else if (name == "sound" || name == "sound-trigger" || name == "shortcuts" || name == "session") {
        // The settings window at its Sound, Keyboard shortcuts or Session
        // section; "sound-trigger": with the preset pop-up open.
        const QString title = name.startsWith("sound") ? QStringLiteral("Sound")
                              : name == "shortcuts"    ? QStringLiteral("Keyboard shortcuts")
                                                       : QStringLiteral("Session");
        QTabWidget* tabs = parts_.settings.tabs();
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == title) tabs->setCurrentIndex(i);
        bringToFront(&parts_.settings);
        shown = &parts_.settings;
        // The bridge's scenes are listed after the first polls: opened later.
        if (name == "sound-trigger")
            if (auto* chooser = parts_.settings.findChild<QComboBox*>("soundTriggerPreset"))
                QTimer::singleShot(7500, chooser, [chooser] { chooser->showPopup(); });
    } else if (name == "location") {
        parts_.settings.tabs()->setCurrentWidget(locationSection_);
        bringToFront(&parts_.settings);
        shown = &parts_.settings;
    } else if (name == "update") {
        shown = updateWindow_.get();
    } else if (name == "popovers") {
        // The main window with the make-group popover under its button and
        // the first strip's rename popover beside its pencil.
        ManualController* manual = &parts_.manual;
        parts_.context.post([manual] {
            manual->makeGroupStep1();
            if (!manual->collection().empty()) manual->collection().front()->showReNamePopover();
        });
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == "mainWindow") shown = top;
    }
    QPointer<QWidget> target(shown);
    QTimer::singleShot(name == "sound-trigger" ? 8000 : 2000, this, [this, target, names, base, name] {
        const QString path = base + "-" + QString(name).replace('=', '-') + ".png";
        // Popovers are windows of their own: the screen shows them with it.
        QScreen* screen = target ? target->screen() : nullptr;
        // An open pop-up's list may reach past the window: the window and
        // everything below it.
        QRect area = target ? target->frameGeometry().adjusted(-12, -12, 12, 12) : QRect();
        if (name == "sound-trigger" && screen) area.setBottom(screen->geometry().bottom());
        const bool ownWindows = name == "popovers" || name == "sound-trigger";
        const QPixmap shot = ownWindows && screen && QGuiApplication::platformName() != "offscreen"
                                 ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                             : target ? target->grab()
                                      : QPixmap();
        if (target && target->isVisible() && shot.save(path))
            std::printf("screenshot saved to %s\n", path.toLocal8Bit().constData());
        else
            std::printf("no screenshot of the %s window\n", name.toLocal8Bit().constData());
        std::fflush(stdout);
        if (name.startsWith("editor") && target) target->close();
        saveScreenshots(names.mid(1), base);
    });
}

void ToolWindows::connectCommandBar(CommandBar& bar) {
    bar.connect(CommandBar::Command::Schedules, [this] { showSchedules(); });
    bar.connect(CommandBar::Command::Explorer, [this] { showExplorer(); });
}

}  // namespace glowmere::gui
