#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "gui/adapters/QtLocationService.h"
#include "gui/app/GuiContext.h"
#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/DefaultsStore.h"
#include "platform/HttpDownload.h"
#include "platform/Ui.h"
#include "platform/Views.h"

namespace glowmere {
class BridgeBridge;
class bridgeExplorer;
class DefaultsLocation;
class LocationSettings;
class ManualController;
class ScheduleManager;
class ScheduleWindow;
class UpdateWindowController;
struct GeoPosition;
}  // namespace glowmere

namespace glowmere::gui {

class CommandBar;
class ExplorerWindow;
class LocationSection;
class SchedulesWindow;
class SettingsWindow;
class UpdateWindow;

// The windows beside the main one and what drives them: the schedule window
// and its editor, the bridge explorer, the update check and its window, the
// settings window's Location section and the desktop's location service.
// Made by the composition root on the Qt thread; their logic runs on the
// controller thread, the update check and download on a thread of their own.
class ToolWindows : public QObject {
    Q_OBJECT
public:
    struct Parts {
        GuiContext& context;
        platform::Clock& clock;
        platform::DefaultsStore& defaults;
        BridgeBridge& bridge;
        ScheduleManager& schedules;
        DefaultsLocation& location;
        platform::PopUpButton& lampsPopUp;
        ManualController& manual;
        platform::Alerts& alerts;
        platform::Workspace& workspace;
        SettingsWindow& settings;
        // Ends the application the orderly way (after a downloaded update opened).
        std::function<void()> quit;
        // Tests: where downloads go, and the position source.
        std::optional<std::filesystem::path> downloadFolder;
        QtLocationService::Factory positionSource;
    };

    explicit ToolWindows(Parts parts);
    ~ToolWindows() override;

    // After the controller's start-up was posted: fills the schedule list and
    // starts the update check.
    void start();
    // Ends the update check or download under way and waits for it.
    void shutDown();

    void showSchedules();
    void showExplorer();
    // The command bar's Schedules and Explorer open the two windows.
    void connectCommandBar(CommandBar& bar);
    // For the demo (GLOWMERE_SCREENSHOT_WINDOWS): opens each named window in
    // turn ("schedules", "editor", "explorer", "explorer=FILTER", "location",
    // "update") and saves a picture of it as BASE-NAME.png ("=" as "-").
    void saveScreenshots(const QStringList& names, const QString& base);

    SchedulesWindow& schedulesWindow() { return *schedulesWindow_; }
    ExplorerWindow& explorerWindow() { return *explorerWindow_; }
    UpdateWindow& updateWindow() { return *updateWindow_; }
    LocationSection* locationSection() const;
    ScheduleWindow& scheduleWindow() { return *scheduleWindow_; }
    bridgeExplorer& explorer() { return *explorer_; }
    UpdateWindowController& updateController() { return *update_; }
    // Told (on the update thread) when the start-up check found a newer
    // version. Set before start().
    void setUpdateAvailableObserver(std::function<void()> observer) { updateAvailable_ = std::move(observer); }
    LocationSettings& locationSettings() { return *locationSettings_; }
    QtLocationService& locationService() { return *locationService_; }
    // True while the update check or a download runs.
    bool updateWorkRunning() const { return updateBusy_; }

private:
    // The constructor's steps: the schedule window, the update check, and
    // the position for sun times.
    void setUpSchedules();
    void setUpUpdate();
    void setUpLocation();
    // The desktop's file manager with the file selected, or its folder.
    void showInFolder(const QString& file);
    void runUpdateWork(std::function<void()> work);
    void positionReported(const GeoPosition& position);

    Parts parts_;
    std::unique_ptr<ScheduleWindow> scheduleWindow_;
    std::unique_ptr<bridgeExplorer> explorer_;
    platform::CurlHttpDownloader downloader_;
    std::unique_ptr<UpdateWindowController> update_;
    std::function<void()> updateAvailable_;
    std::unique_ptr<LocationSettings> locationSettings_;
    std::unique_ptr<SchedulesWindow> schedulesWindow_;
    std::unique_ptr<ExplorerWindow> explorerWindow_;
    std::unique_ptr<UpdateWindow> updateWindow_;
    QPointer<LocationSection> locationSection_;
    std::unique_ptr<QtLocationService> locationService_;
    std::thread updateThread_;
    std::atomic<bool> updateBusy_{false};
    // The last position handed to the schedule manager (controller thread).
    std::shared_ptr<std::optional<GeoPosition>> lastPosition_;
};

}  // namespace glowmere::gui
