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

#include "controller/BridgePolling.h"
#include "controller/BulbSearch.h"
#include "controller/ControllerSettings.h"
#include "controller/GroupCommands.h"
#include "controller/Listening.h"
#include "controller/LoopHandoff.h"
#include "controller/PresetManager.h"
#include "controller/ScheduleEngine.h"
#include "controller/StripLayout.h"
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
// builds the control strips, offers the status menu, and saves the settings
// at quit. It coordinates collaborators that each own their part: the
// strips' layout (StripLayout), polling (BridgePolling), the presets
// (PresetManager), listening and the sound trigger (Listening), the group
// commands (GroupCommands) and the search for new bulbs (BulbSearch); its
// public operations forward to them. Everything runs on the controller
// thread (the run loop it is given), except the polling loop, the listening
// countdown, bulb searches and the schedule engine's time adjustment, which
// run on threads of their own and hand every change of a strip to the
// controller thread.
class ManualController final : public StripOwner, public platform::PopoverDelegate {
public:
    // Defaults keys.
    static constexpr const char* listenerSensitivityKey = "listenerSensitivity";
    static constexpr const char* listenerOnPeriodKey = "listenerOnPeriod";
    static constexpr const char* soundTriggerDelayKey = "soundTriggerDelay";
    static constexpr const char* soundTriggerPresetKey = "soundTriggerPreset";
    // The bridge scene the sound trigger recalls (its identifier), when one
    // was chosen; the preset key then keeps the last preset chosen.
    static constexpr const char* soundTriggerSceneKey = "soundTriggerScene";
    static constexpr const char* makeAllGroupKey = "makeAllGroup";
    static constexpr const char* presetsKey = PresetManager::presetsKey;
    static constexpr const char* uiStateKey = StripLayout::uiStateKey;

    static constexpr const char* stripTemplateName = "SingleControl";
    static constexpr const char* statusImageName = "lightbulb_trans_Template";
    static constexpr const char* noLightsMessage = "No lights found, trying again in 3s";

    // Layout, in points.
    static constexpr double stripPitch = StripLayout::stripPitch;
    static constexpr double foldedPitch = StripLayout::foldedPitch;
    static constexpr double stripMargin = StripLayout::stripMargin;
    static constexpr double foldedY = StripLayout::foldedY;
    static constexpr double minimumWindowWidth = StripLayout::minimumWindowWidth;

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
    void setLocationServiceStarter(std::function<void()> starter) {
        std::lock_guard g(starterMutex_);
        locationServiceStarter_ = std::move(starter);
    }
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
    LampSelectionView* lampSelectionView() const { return layout_.lampSelectionView(); }
    LampSelectionView* groupSelectionView() const { return layout_.groupSelectionView(); }
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
    std::vector<LampControlStrip*> displayOrder() const { return layout_.displayOrder(); }
    bool allowFold() const override;

    // ---- Polling ----
    // The polling loop's body: a cycle every 6 seconds, the first 6 seconds
    // after the set-up that started it.
    void pollBridge(std::stop_token stop) { polling_.pollBridge(stop); }
    // One cycle. Called from the polling thread, or from the controller
    // thread itself (tests), where its hand-overs run inline.
    void pollOnce(std::stop_token stop = {}) { polling_.pollOnce(stop); }
    void updateLamps(const Value& lamps) { polling_.updateLamps(lamps); }
    void updateGroups(const Value& groups) { polling_.updateGroups(groups); }
    void updateGroupAll() { polling_.updateGroupAll(); }
    void setPollingEnabled(bool enabled) override { polling_.setEnabled(enabled); }
    bool pollingEnabled() const { return polling_.enabled(); }
    void allOn();
    void allOff();
    void sendSettingsToStripsInGroup(const Value& settings, const std::string& groupId) override;
    // Told of the lamps each poll read, on the polling thread; and after the
    // preset menus were rebuilt, on the controller thread (the bridge's
    // scenes and the preset in effect hang off these).
    void setLampsReadObserver(std::function<void(const Value& lamps)> observer);
    void setPresetMenusObserver(std::function<void()> observer);
    // Recalls a bridge scene by identifier for the sound trigger, on the
    // controller thread.
    void setSceneRecaller(std::function<bool(const std::string& sceneID)> recaller);

    // ---- State, for the GUI and tests ----
    bool isSetUp() const { return setUp_; }
    int pollingLoopsStarted() const { return polling_.loopsStarted(); }
    platform::Menu& statusMenu() { return statusMenu_; }
    platform::StatusItem* statusItem() const { return statusItem_; }
    manualWindowController* windowController() const { return windowController_.get(); }
    platform::Popover* reNamePopover() const { return reNamePopover_.get(); }
    platform::Popover* makeGroupPopover() const { return groups_.makeGroupPopover(); }
    platform::Popover* removeGroupPopover() const { return groups_.removeGroupPopover(); }
    platform::Popover* duskPopover() const { return duskPopover_.get(); }

    // ---- Presets ----
    static constexpr const char* noPresetsTitle = "No presets yet";
    static constexpr const char* presetsTitle = "Presets";
    static constexpr const char* managePresetsTitle = "Manage presets...";

    // The panels the preset commands show; any may be left unset.
    void setAlerts(platform::Alerts* alerts) {
        alerts_ = alerts;
        presets_.setAlerts(alerts);
    }
    void setPresetOption1Panel(platform::Window* panel) { presets_.setPresetOption1Panel(panel); }
    void setPresetNamingPanel(platform::Window* panel) { presets_.setPresetNamingPanel(panel); }
    void setPresetManagementPanel(platform::Window* panel) { presets_.setPresetManagementPanel(panel); }
    void setPresetManagementTable(platform::TableView* table) { presets_.setPresetManagementTable(table); }
    // The main window's preset pull-down and the panels' controls.
    platform::Menu& presetPullDown() { return presets_.presetPullDown(); }
    platform::TextField& presetOption1Text() { return presets_.presetOption1Text(); }
    platform::TextField& presetNameEditingField() { return presets_.presetNameEditingField(); }

    // The stored list: the cache unless `reload` (or nothing cached yet).
    Value getPresetList(bool reload) { return presets_.getPresetList(reload); }
    std::string getUniqueID() const { return presets_.getUniqueID(); }
    void savePresetStep1() { presets_.savePresetStep1(); }
    void presetStep1PanelOK() { presets_.presetStep1PanelOK(); }
    void savePresetStep1CreateNew() { presets_.savePresetStep1CreateNew(); }
    void showPresetNamingPanel() { presets_.showPresetNamingPanel(); }
    void presetNamingPanelOK() { presets_.presetNamingPanelOK(); }
    void presetNamingPanelCancel() { presets_.presetNamingPanelCancel(); }
    void savePreset() { presets_.savePreset(); }
    void updatePreset() { presets_.updatePreset(); }
    void implementPreset(int index) { presets_.implementPreset(index); }
    void showPresetManagementPanel() { presets_.showPresetManagementPanel(); }
    void renamePreset() { presets_.renamePreset(); }
    void deletePreset() { presets_.deletePreset(); }
    int lastSelectedPreset() const { return presets_.lastSelectedPreset(); }
    // The presets' names in menu order, and applying the first preset of a
    // name (false when there is none): the desktop bus interface's view.
    std::vector<std::string> presetNames() { return presets_.presetNames(); }
    bool implementPresetNamed(const std::string& name) { return presets_.implementPresetNamed(name); }
    // The names as the menus last showed them, from any thread at once: the
    // bus answers from them without waiting for the controller thread.
    std::vector<std::string> lastKnownPresetNames() const { return presets_.lastKnownPresetNames(); }
    // Another process changed the stored list: menus and table show it.
    void presetsChangedElsewhere() { presets_.presetsChangedElsewhere(); }

    // ---- Sound trigger and listening ----
    static constexpr int countdownSeconds = Listening::countdownSeconds;

    void setMicListener(MicListener* listener) { listening_.setMicListener(listener); }
    void setListenToolbarButton(platform::Button* button) { listening_.setListenToolbarButton(button); }
    void setListenOption1Panel(platform::Window* panel) { listening_.setListenOption1Panel(panel); }
    platform::TextField& listenOption1Text() { return listening_.listenOption1Text(); }

    void StartListenMenuItem() { listening_.StartListenMenuItem(); }
    void StopListenMenuItem() { listening_.StopListenMenuItem(); }
    // The listen button's action: counts down before listening, or stops.
    void ListenStep1() { listening_.ListenStep1(); }
    void ListenStep1Skip() { listening_.ListenStep1Skip(); }
    void ListenStep1Cancel() { listening_.ListenStep1Cancel(); }
    // Listening on or off at once, without a countdown (the bus interface).
    void startListeningNow() { listening_.startListeningNow(); }
    void stopListening() { listening_.stopListening(); }
    void soundTrigger() { listening_.soundTrigger(); }
    void restoreSavedPreset() { listening_.restoreSavedPreset(); }
    // The lamps as their strips show them, in the sound trigger's snapshot
    // form, and putting such a snapshot back (the session's sleep and lock).
    Value lampSnapshot();
    void restoreLampSnapshot(const Value& snapshot);
    // Told on the controller thread each time the sound trigger fires anew
    // (not at every loud moment while its preset is on).
    void setSoundTriggerObserver(std::function<void()> observer) {
        listening_.setSoundTriggerObserver(std::move(observer));
    }
    // All lamps changed by command: the sound trigger's snapshot is dropped
    // and nothing will be restored.
    void stripDidChange() { listening_.stripDidChange(); }
    // Runs soundTrigger after `seconds` (the listener asks, once per loud tick).
    void soundTriggerAfterDelay(double seconds) { listening_.soundTriggerAfterDelay(seconds); }
    const std::optional<Value>& savedPresetDict() const { return listening_.savedPresetDict(); }
    bool restorePending() const { return listening_.restorePending(); }
    bool countingDown() const { return listening_.countingDown(); }

    // ---- Groups, the bulb search, the lamps menu, the bridge's state ----
    void makeGroupStep1() { groups_.makeGroupStep1(); }
    void showMakeGroupPopover() { groups_.showMakeGroupPopover(); }
    // `sender`: the popover's button; a non-zero tag confirms.
    void makeGroupPopoverClose(platform::Control* sender) { groups_.makeGroupPopoverClose(sender); }
    void makeGroup(const Value& tags) { groups_.makeGroup(tags); }
    void removeGroupStep1() { groups_.removeGroupStep1(); }
    void showRemoveGroupPopover() { groups_.showRemoveGroupPopover(); }
    void removeGroupPopoverClose(platform::Control* sender) { groups_.removeGroupPopoverClose(sender); }
    void removeGroup(const Value& tags) { groups_.removeGroup(tags); }
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
    void setBridgeStateObserver(BridgeStateObserver observer) {
        std::lock_guard g(bridgeStateMutex_);
        bridgeStateObserver_ = std::move(observer);
    }
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
    std::unique_ptr<LampControlStrip> makeStrip(bool group);
    void placeStrip(std::unique_ptr<LampControlStrip> strip);
    void buildLampStrip(const Value& record, int position);
    void buildGroupStrip(const Value& record, int position);
    void buildAllStrip();
    void discardStrips();
    // Set-up's steps: the settings shown, the strips built from the bridge's
    // lists, the loops started after the first success.
    void prepareSetUp();
    // Nothing from the bridge yet: the window says so and set-up runs again.
    void retrySetUpLater();
    void buildStrips(const Value& lights);
    void startBackgroundLoops();
    void loadSettingsFromDefaults();
    // The sound trigger's preset is kept by name, so deleting or reordering
    // presets does not change which one fires; a profile from before holds
    // its position, read as such.
    void selectStoredSoundTriggerPreset();
    // `chosenNow`: the user just chose an item, which replaces a scene chosen before.
    void storeSoundTriggerPreset(bool chosenNow = false);
    void dressStatusItem();
    std::unique_ptr<platform::Popover> makePopover(const std::string& viewName, platform::Size size,
                                                   platform::Popover::Behavior behavior);
    // The bridge answered with `lights` (nothing: it did not answer).
    void noteBridgeAnswer(const std::optional<Value>& lights);
    void setBridgeState(BridgeState state);
    // No address is known yet: still looking, or, after a whole round of
    // discovery, nothing found.
    void noteNoBridgeYet();
    // Every lamp strip's record, in collection order.
    Value lampStripRecords() const;
    // "Turn all on/off" shown on every strip at once.
    void showAllSwitched(bool on);
    // The collaborators' view of the strips.
    BridgePolling::Strips pollingStrips();
    PresetManager::Lamps presetLamps();
    Listening::Lamps listeningLamps();
    GroupCommands::Strips groupStrips();

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
    platform::Alerts* alerts_ = nullptr;
    std::string helpPageURL_;
    std::mutex starterMutex_;  // set on the window thread, read on the controller thread
    std::function<void()> locationServiceStarter_;
    bool locationManager_ = false;

    std::atomic<bool> setUp_{false};
    std::vector<std::unique_ptr<LampControlStrip>> collection_;
    std::unique_ptr<manualWindowController> windowController_;
    std::unique_ptr<platform::Popover> reNamePopover_, duskPopover_;
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
    std::mutex presetHooksMutex_;                                     // the three hooks below
    std::function<void(const Value&)> lampsReadObserver_;
    std::function<void()> presetMenusObserver_;
    std::function<bool(const std::string&)> sceneRecaller_;
    platform::BackgroundThread adjustTimesThread_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    LoopHandoff handoff_{loop_, lifetime_};

    StripLayout layout_{collection_, defaults_, controlPanel_};
    BridgePolling polling_;
    PresetManager presets_;
    Listening listening_;
    GroupCommands groups_;
    BulbSearch bulbSearch_;
};

}  // namespace glowmere
