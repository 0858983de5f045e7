#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "controller/BulbSearch.h"
#include "controller/ControllerSettings.h"
#include "controller/LoopHandoff.h"
#include "controller/ScheduleEngine.h"
#include "controls/BridgeClient.h"
#include "controls/LampControlStrip.h"
#include "controls/LampSelectionView.h"
#include "controls/StripOwner.h"
#include "controls/manualWindowController.h"
#include "platform/BackgroundThread.h"
#include "platform/DefaultsStore.h"
#include "platform/RunLoop.h"
#include "platform/TableView.h"
#include "platform/Ui.h"
#include "platform/Views.h"

namespace glowmere {

class MicListener;

// The main controller: brings the application up, waits for the bridge,
// builds and lays out the control strips, polls the bridge, offers the status
// menu, and saves the settings at quit. Everything runs on the controller
// thread (the run loop it is given), except the polling loop and the
// schedule engine's time adjustment, which run on threads of their own and
// hand every change of a strip to the controller thread.
class ManualController final : public StripOwner,
                               public platform::PopoverDelegate,
                               public platform::TableViewDataSource {
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
    void populateLampsPopUp() override;
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

    // ---- The user's arrangement: hidden strips and their order ----
    // Kept with the UI state ("hidden", "place" in a strip's entry) and
    // applied by the layout; the collection's own order stays the bridge's.
    // The strip shown by `view`, or none.
    LampControlStrip* stripForView(const platform::View* view) const;
    void hideStrip(LampControlStrip* strip);
    // One place left (step -1) or right (+1) among the shown strips.
    void moveStrip(LampControlStrip* strip, int step);
    void showHiddenStrips();
    // The strips in the order the window shows them, hidden ones included.
    std::vector<LampControlStrip*> displayOrder() const;
    bool allowFold() const override;

    // ---- Polling ----
    // The polling loop's body: a cycle every 6 seconds, the first 6 seconds
    // after the set-up that started it.
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
    void sendSettingsToStripsInGroup(const Value& settings, const std::string& groupId) override;
    // Told of the lamps each poll read, on the polling thread; and after the
    // preset menus were rebuilt, on the controller thread (the bridge's
    // scenes and the preset in effect hang off these).
    void setLampsReadObserver(std::function<void(const Value& lamps)> observer);
    void setPresetMenusObserver(std::function<void()> observer);

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

    // ---- Presets ----
    static constexpr const char* noPresetsTitle = "No presets yet";
    static constexpr const char* presetsTitle = "Presets";
    static constexpr const char* managePresetsTitle = "Manage presets...";

    // The panels the preset commands show; any may be left unset.
    void setAlerts(platform::Alerts* alerts) { alerts_ = alerts; }
    void setPresetOption1Panel(platform::Window* panel) { presetOption1Panel_ = panel; }
    void setPresetNamingPanel(platform::Window* panel) { presetNamingPanel_ = panel; }
    void setPresetManagementPanel(platform::Window* panel) { presetManagementPanel_ = panel; }
    void setPresetManagementTable(platform::TableView* table);
    // The main window's preset pull-down and the panels' controls.
    platform::Menu& presetPullDown() { return presetPullDown_; }
    platform::TextField& presetOption1Text() { return presetOption1Text_; }
    platform::TextField& presetNameEditingField() { return presetNameEditingField_; }

    // The stored list: the cache unless `reload` (or nothing cached yet).
    Value getPresetList(bool reload);
    std::string getUniqueID() const;
    void savePresetStep1();
    void presetStep1PanelOK();
    void savePresetStep1CreateNew();
    void showPresetNamingPanel();
    void presetNamingPanelOK();
    void presetNamingPanelCancel();
    void savePreset();
    void updatePreset();
    void implementPreset(int index);
    void showPresetManagementPanel();
    void renamePreset();
    void deletePreset();
    int numberOfRowsInTableView(platform::TableView* table) override;
    std::string tableViewObjectValueForTableColumnRow(platform::TableView* table, const std::string& column,
                                                      int row) override;
    void tableViewSetObjectValueForTableColumnRow(platform::TableView* table, const std::string& value,
                                                  const std::string& column, int row) override;
    int lastSelectedPreset() const { return lastSelectedPreset_; }
    // The presets' names in menu order, and applying the first preset of a
    // name (false when there is none): the desktop bus interface's view.
    std::vector<std::string> presetNames();
    bool implementPresetNamed(const std::string& name);
    // The names as the menus last showed them, from any thread at once: the
    // bus answers from them without waiting for the controller thread.
    std::vector<std::string> lastKnownPresetNames() const;
    // Another process changed the stored list: menus and table show it.
    void presetsChangedElsewhere();

    // ---- Sound trigger and listening ----
    static constexpr int countdownSeconds = 60;

    void setMicListener(MicListener* listener) { micListener_ = listener; }
    void setListenToolbarButton(platform::Button* button) { listenToolbarButton_ = button; }
    void setListenOption1Panel(platform::Window* panel) { listenOption1Panel_ = panel; }
    platform::TextField& listenOption1Text() { return listenOption1Text_; }

    void StartListenMenuItem();
    void StopListenMenuItem();
    // The listen button's action: counts down before listening, or stops.
    void ListenStep1();
    void ListenStep1Skip();
    void ListenStep1Cancel();
    // Listening on or off at once, without a countdown (the bus interface).
    void startListeningNow();
    void stopListening();
    void soundTrigger();
    void restoreSavedPreset();
    // All lamps changed by command: the sound trigger's snapshot is dropped
    // and nothing will be restored.
    void stripDidChange();
    // Runs soundTrigger after `seconds` (the listener asks, once per loud tick).
    void soundTriggerAfterDelay(double seconds);
    const std::optional<Value>& savedPresetDict() const { return savedPresetDict_; }
    bool restorePending() const { return soundTriggerTimer_ != 0; }
    bool countingDown() const;

    // ---- Groups, the bulb search, the lamps menu, the bridge's state ----
    // (MainWindowCommands.cpp)
    void makeGroupStep1();
    void showMakeGroupPopover();
    // `sender`: the popover's button; a non-zero tag confirms.
    void makeGroupPopoverClose(platform::Control* sender);
    void makeGroup(const Value& tags);
    void removeGroupStep1();
    void showRemoveGroupPopover();
    void removeGroupPopoverClose(platform::Control* sender);
    void removeGroup(const Value& tags);
    // Asks, then searches on a thread of its own (once answered: the
    // controller thread never waits for the user).
    void discoverNewBulbs();
    int bulbSearchesRunning() const { return bulbSearch_.running(); }
    // Search threads not yet joined (controller thread).
    std::size_t bulbSearchThreads() const { return bulbSearch_.threads(); }
    // Rebuilds of the strips so far (tests count them).
    int rebuildCount() const { return rebuilds_; }
    // The tray's "Lamps" submenu: a check item per lamp, group and the All
    // strip; choosing one switches it. Kept in step with the strips.
    platform::Menu& lampsMenu() { return lampsMenu_; }
    void refreshLampsMenu();
    // The name a lamp or group goes by in the window, while it has a strip.
    // Any thread: failures are reported on the thread that made the request.
    std::optional<std::string> nameForID(bool group, const std::string& id) const;
    // The settings' "Allow strips to fold" and "Show a strip for all
    // lamps" changed: stored and shown at once.
    void allowFoldChanged();
    void makeAllGroupChanged();

    // What the window says about the bridge: looking for it, there but not
    // answering, not paired with, answering without lamps, all well, or
    // not found by a whole round of discovery (set-up goes on retrying).
    enum class BridgeState { LookingForBridge, NotReachable, NotPaired, NoLamps, Ready, NoBridgeFound };
    // How long discovery finds nothing before the window says no bridge was
    // found: the portal and the local network asked, with set-up's retries
    // between, on the controller's clock.
    static constexpr std::chrono::seconds noBridgeFoundAfter{9};
    // Told of every change, on the controller or polling thread.
    using BridgeStateObserver = std::function<void(BridgeState state, const std::string& address)>;
    void setBridgeStateObserver(BridgeStateObserver observer) { bridgeStateObserver_ = std::move(observer); }
    BridgeState bridgeState() const { return bridgeState_; }
    // The banner's Retry: asks the bridge again now.
    void retryBridge();
    // "Search again" after no bridge was found: the window goes back to
    // looking, for another whole round, and set-up runs now.
    void searchAgain();

    bool popoverShouldClose(platform::Popover*) override { return true; }
    platform::RunLoop& runLoop() override { return loop_; }
    std::weak_ptr<void> lifetime() const override { return lifetime_; }

private:
    // A strip's place and hidden flag, by group flag and identifier.
    using StripKey = std::pair<bool, std::string>;
    static StripKey keyOf(const LampControlStrip& strip) { return {strip.isGroup(), strip.getID()}; }
    std::map<StripKey, int> places_;
    std::set<StripKey> hiddenStrips_;

    std::unique_ptr<LampControlStrip> makeStrip(bool group);
    void placeStrip(std::unique_ptr<LampControlStrip> strip);
    void buildLampStrip(const Value& record, int position);
    void buildGroupStrip(const Value& record, int position);
    void buildAllStrip();
    void buildSelectionViews();
    void discardStrips();
    void loadSettingsFromDefaults();
    // The sound trigger's preset is kept by name, so deleting or reordering
    // presets does not change which one fires; a profile from before holds
    // its position, read as such.
    void selectStoredSoundTriggerPreset();
    void storeSoundTriggerPreset();
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
    // The bridge answered with `lights` (nothing: it did not answer).
    void noteBridgeAnswer(const std::optional<Value>& lights);
    void setBridgeState(BridgeState state);
    // No address is known yet: still looking, or, after a whole round of
    // discovery, nothing found.
    void noteNoBridgeYet();
    void wireGroupPopovers();
    // Every lamp strip's record, in collection order.
    Value lampStripRecords() const;
    // Reads, changes and stores the whole list, then refreshes what shows it.
    void changePresetList(const std::function<void(Value& list)>& change);
    void presetListChanged();
    void listenCountdown(std::stop_token stop, int generation);
    // "Turn all on/off" shown on every strip at once.
    void showAllSwitched(bool on);
    void closeCountdown();

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
    std::optional<Value> presetCollection_;
    platform::DefaultsStore::ObserverId presetsObserver_ = 0;
    platform::Alerts* alerts_ = nullptr;
    platform::Window* presetOption1Panel_ = nullptr;
    platform::Window* presetNamingPanel_ = nullptr;
    platform::Window* presetManagementPanel_ = nullptr;
    platform::TableView* presetManagementTable_ = nullptr;
    platform::Menu presetPullDown_;
    platform::TextField presetOption1Text_;
    platform::TextField presetNameEditingField_;

    std::optional<Value> savedPresetDict_;
    platform::RunLoop::TimerId soundTriggerTimer_ = 0;
    MicListener* micListener_ = nullptr;
    platform::Button* listenToolbarButton_ = nullptr;
    platform::Window* listenOption1Panel_ = nullptr;
    platform::TextField listenOption1Text_;
    // Each countdown has its number; one superseded, skipped or cancelled
    // ends at its next second without starting anything.
    std::atomic<int> countdownGeneration_{0};
    platform::BackgroundThread countdownThread_;
    std::vector<std::unique_ptr<LampControlStrip>> collection_;
    std::unique_ptr<LampSelectionView> lampSelectionView_;
    std::unique_ptr<LampSelectionView> groupSelectionView_;
    std::unique_ptr<manualWindowController> windowController_;
    std::unique_ptr<platform::Popover> reNamePopover_, makeGroupPopover_, removeGroupPopover_, duskPopover_;
    platform::TextField* reNameEditingField_ = nullptr;
    platform::StatusItem* statusItem_ = nullptr;
    platform::Menu statusMenu_;
    platform::RunLoop::TimerId pendingSetUp_ = 0;

    platform::Menu lampsMenu_;
    std::atomic<BridgeState> bridgeState_{BridgeState::LookingForBridge};
    BridgeStateObserver bridgeStateObserver_;
    std::mutex bridgeStateMutex_;
    // When discovery began to find nothing (none while an address is known).
    std::optional<platform::Clock::TimePoint> lookingSince_;
    std::atomic<int> rebuilds_{0};
    mutable std::mutex stripNamesMutex_;
    std::map<std::pair<bool, std::string>, std::string> stripNames_;  // (group, id) -> name
    mutable std::mutex knownPresetNamesMutex_;
    std::vector<std::string> knownPresetNames_;
    std::mutex presetHooksMutex_;  // the two observers below
    std::function<void(const Value&)> lampsReadObserver_;
    std::function<void()> presetMenusObserver_;
    std::atomic<int> pollingLoopsStarted_{0};
    platform::BackgroundThread pollingThread_;
    platform::BackgroundThread adjustTimesThread_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    LoopHandoff handoff_{loop_, lifetime_};
    BulbSearch bulbSearch_;
};

}  // namespace glowmere
