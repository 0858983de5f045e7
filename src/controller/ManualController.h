#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "controller/ControllerSettings.h"
#include "controller/ScheduleEngine.h"
#include "controls/BridgeClient.h"
#include "controls/LampControlStrip.h"
#include "controls/LampSelectionView.h"
#include "controls/StripOwner.h"
#include "controls/manualWindowController.h"
#include "platform/BackgroundThread.h"
#include "platform/DefaultsStore.h"
#include "platform/RunLoop.h"
#include "platform/Views.h"

namespace glowmere {

// The main controller: brings the application up, waits for the bridge,
// builds and lays out the control strips, polls the bridge, offers the status
// menu, and saves the settings at quit. Everything runs on the controller
// thread (the run loop it is given), except the polling loop and the
// schedule engine's time adjustment, which run on threads of their own and
// hand every change of a strip to the controller thread.
class ManualController final : public StripOwner, public platform::PopoverDelegate {
public:
    // Defaults keys.
    static constexpr const char* listenerSensitivityKey = "listenerSensitivity";
    static constexpr const char* listenerOnPeriodKey = "listenerOnPeriod";
    static constexpr const char* soundTriggerDelayKey = "soundTriggerDelay";
    static constexpr const char* soundTriggerPresetKey = "soundTriggerPreset";
    static constexpr const char* makeAllGroupKey = "makeAllGroup";
    static constexpr const char* presetsKey = "presets";
    static constexpr const char* uiStateKey = "UIState";

    static constexpr const char* stripTemplateName = "SingleControl";
    static constexpr const char* statusImageName = "lightbulb_trans_Template";
    static constexpr const char* noLightsMessage = "No lights found, trying again in 3s";

    // Layout, in points.
    static constexpr double stripPitch = 95;
    static constexpr double foldedPitch = 28;
    static constexpr double stripMargin = 20;
    static constexpr double foldedY = 363;
    static constexpr double minimumWindowWidth = 500;

    ManualController(platform::RunLoop& loop, platform::DefaultsStore& defaults, BridgeClient& bridge,
                     platform::MainWindow& controlPanel, platform::ViewTemplates& templates,
                     ControllerSettings& settings);
    ~ManualController() override;
    ManualController(const ManualController&) = delete;
    ManualController& operator=(const ManualController&) = delete;

    // Outlets; any may be left unset.
    void setScheduleManager(ScheduleEngine* scheduleManager) { scheduleManager_ = scheduleManager; }
    void setApplication(platform::Application* application) { application_ = application; }
    void setWorkspace(platform::Workspace* workspace) { workspace_ = workspace; }
    // The support page that ships with the application (a file:// URL).
    void setHelpPageURL(std::string url) { helpPageURL_ = std::move(url); }
    // Starts the location service and hands positions to the schedule engine.
    void setLocationServiceStarter(std::function<void()> starter) { locationServiceStarter_ = std::move(starter); }
    // The schedule window's lamp chooser.
    void setLampsPopUp(platform::PopUpButton* popUp) { lampsPopUp_ = popUp; }

    // ---- Start-up, settings and shutdown ----
    void awakeFromNib();
    void applicationDidFinishLaunching();
    void turnOnLocationManagerIfNecessary();
    void testWindowLoaded();
    void setUp();
    void refreshSetUp();
    // Saves the settings; true: the application may end at once.
    bool applicationShouldTerminate();
    void showManualControl();
    void visitHelp();
    void populatePresetPullDown();
    void populateLampsPopUp();
    void implementPreset(int index);
    // Ends the background loops (the process is about to end, or a test is).
    void stopBackgroundThreads();

    // ---- The strips ----
    const std::vector<std::unique_ptr<LampControlStrip>>& collection() const { return collection_; }
    LampControlStrip* getStripWithID(const std::string& id) const;
    LampControlStrip* getGroupStripWithID(const std::string& id) const;
    LampControlStrip* stripWithTag(int tag) const;
    LampControlStrip* groupWithTag(int tag) const;
    std::optional<std::string> IDforTagGroup(int tag, bool group) const;
    int countLightStrips() const;
    int countGroupStrips() const;
    void recalculateControlStripPositions() override;
    LampSelectionView* lampSelectionView() const { return lampSelectionView_.get(); }
    LampSelectionView* groupSelectionView() const { return groupSelectionView_.get(); }
    std::optional<Value> getUIStateForGroupID(bool group, const std::string& id) const;
    void saveUIState(LampControlStrip* strip) override;
    bool allowFold() const override;

    // ---- Polling ----
    // The polling loop's body: a cycle at once, then one every 6 seconds.
    void pollBridge(std::stop_token stop);
    // One cycle. Called from the polling thread, or from the controller
    // thread itself (tests), where its hand-overs run inline.
    void pollOnce(std::stop_token stop = {});
    void updateLamps(const Value& lamps);
    void updateGroups(const Value& groups);
    void updateGroupAll();
    void setPollingEnabled(bool enabled) override { pollingEnabled_ = enabled; }
    bool pollingEnabled() const { return pollingEnabled_; }
    void allOn();
    void allOff();
    // A strip changed: the sound trigger's snapshot is no longer current.
    void stripDidChange() {}
    void sendSettingsToStripsInGroup(const Value& settings, const std::string& groupId) override;

    // ---- State, for the GUI and tests ----
    bool isSetUp() const { return setUp_; }
    int pollingLoopsStarted() const { return pollingLoopsStarted_; }
    platform::Menu& statusMenu() { return statusMenu_; }
    platform::StatusItem* statusItem() const { return statusItem_; }
    manualWindowController* windowController() const { return windowController_.get(); }
    platform::Popover* reNamePopover() const { return reNamePopover_.get(); }
    platform::Popover* makeGroupPopover() const { return makeGroupPopover_.get(); }
    platform::Popover* removeGroupPopover() const { return removeGroupPopover_.get(); }
    platform::Popover* duskPopover() const { return duskPopover_.get(); }
    int lastSelectedPreset() const { return lastSelectedPreset_; }

    bool popoverShouldClose(platform::Popover*) override { return true; }
    platform::RunLoop& runLoop() override { return loop_; }
    std::weak_ptr<void> lifetime() const override { return lifetime_; }

private:
    std::unique_ptr<LampControlStrip> makeStrip(bool group);
    void placeStrip(std::unique_ptr<LampControlStrip> strip);
    void buildLampStrip(const Value& record, int position);
    void buildGroupStrip(const Value& record, int position);
    void buildAllStrip();
    void buildSelectionViews();
    void discardStrips();
    void loadSettingsFromDefaults();
    void dressStatusItem();
    std::unique_ptr<platform::Popover> makePopover(const std::string& viewName, platform::Size size,
                                                   platform::Popover::Behavior behavior);
    // Runs `task` on the controller thread and waits for it (inline when
    // already there). False when it could not run: stop was asked for or the
    // loop has ended.
    bool runOnController(std::function<void()> task, std::stop_token stop);
    // Rebuilds the strips when the bridge lists more lamps (or groups) than
    // there are strips. Whether it rebuilt; nothing when polling is stopping.
    std::optional<bool> rebuildIfBridgeHasMore(int count, bool groups, std::stop_token stop);
    void postToController(std::function<void()> task);
    static Value syncRecord(const Value& record, bool withLabel);

    platform::RunLoop& loop_;
    platform::DefaultsStore& defaults_;
    BridgeClient& bridgeBridge_;
    platform::MainWindow& controlPanel_;
    platform::ViewTemplates& templates_;
    ControllerSettings& settings_;
    ScheduleEngine* scheduleManager_ = nullptr;
    platform::Application* application_ = nullptr;
    platform::Workspace* workspace_ = nullptr;
    platform::PopUpButton* lampsPopUp_ = nullptr;
    std::string helpPageURL_;
    std::function<void()> locationServiceStarter_;
    bool locationManager_ = false;

    std::atomic<bool> setUp_{false};
    std::atomic<bool> pollingEnabled_{true};
    int lastSelectedPreset_ = -1;
    std::vector<std::unique_ptr<LampControlStrip>> collection_;
    std::unique_ptr<LampSelectionView> lampSelectionView_;
    std::unique_ptr<LampSelectionView> groupSelectionView_;
    std::unique_ptr<manualWindowController> windowController_;
    std::unique_ptr<platform::Popover> reNamePopover_, makeGroupPopover_, removeGroupPopover_, duskPopover_;
    platform::TextField* reNameEditingField_ = nullptr;
    platform::StatusItem* statusItem_ = nullptr;
    platform::Menu statusMenu_;
    platform::RunLoop::TimerId pendingSetUp_ = 0;

    std::atomic<int> pollingLoopsStarted_{0};
    platform::BackgroundThread pollingThread_;
    platform::BackgroundThread adjustTimesThread_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace glowmere
