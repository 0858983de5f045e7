#include "controller/ManualController.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

#include "controller/PresetRecords.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

namespace {

constexpr auto setUpRetryDelay = std::chrono::seconds(3);
constexpr auto windowLoadedCheckDelay = std::chrono::milliseconds(250);
constexpr auto allSwitchedPause = std::chrono::seconds(5);

std::size_t entries(const std::optional<Value>& list) {
    return list && list->isList() ? list->size() : 0;
}

}  // namespace

ManualController::ManualController(platform::RunLoop& loop, platform::DefaultsStore& defaults, BridgeClient& bridge,
                                   platform::MainWindow& controlPanel, platform::ViewTemplates& templates,
                                   ControllerSettings& settings)
    : loop_(loop),
      defaults_(defaults),
      bridgeBridge_(bridge),
      controlPanel_(controlPanel),
      templates_(templates),
      settings_(settings),
      polling_(bridge, loop.clock(), handoff_, pollingStrips()),
      presets_(defaults, handoff_, presetLamps()),
      listening_(handoff_, settings, this, listeningLamps()),
      groups_(loop, bridge, groupStrips()),
      bulbSearch_(bridge, loop.clock(), handoff_,
                  {.has = [this](const std::string& id) { return getStripWithID(id) != nullptr; },
                   .showSearching =
                       [this](bool searching) {
                           if (searching)
                               controlPanel_.mainWindowThrobber().startAnimation();
                           else
                               controlPanel_.mainWindowThrobber().stopAnimation();
                       },
                   .rebuild = [this] { refreshSetUp(); }}) {}

BridgePolling::Strips ManualController::pollingStrips() {
    return {.count = [this](bool groups) { return groups ? countGroupStrips() : countLightStrips(); },
            .find = [this](bool group,
                           const std::string& id) { return group ? getGroupStripWithID(id) : getStripWithID(id); },
            .rebuild = [this] { refreshSetUp(); },
            .noteAnswer =
                [this](const std::optional<Value>& lights) {
                    noteBridgeAnswer(lights);
                    if (!lights || !lights->isList()) return;
                    std::function<void(const Value&)> observer;
                    {
                        std::lock_guard lock(presetHooksMutex_);
                        observer = lampsReadObserver_;
                    }
                    if (observer) observer(*lights);
                },
            .wantsAllStrip = [this] { return settings_.makeAllGroup.state() == 1; },
            .refreshMenus = [this] { refreshLampsMenu(); }};
}

PresetManager::Lamps ManualController::presetLamps() {
    return {.records = [this] { return lampStripRecords(); },
            .find = [this](const std::string& id) { return getStripWithID(id); },
            .changedByCommand = [this] { stripDidChange(); },
            .listChanged = [this] { populatePresetPullDown(); }};
}

Listening::Lamps ManualController::listeningLamps() {
    return {.snapshot = [this] { return presets_.snapshot(); },
            .applyPreset = [this](int index) { implementPreset(index); },
            .applyScene =
                [this](const std::string& sceneID) {
                    std::function<bool(const std::string&)> recall;
                    {
                        std::lock_guard lock(presetHooksMutex_);
                        recall = sceneRecaller_;
                    }
                    if (recall && !recall(sceneID)) platform::log("the scene " + sceneID + " could not be recalled");
                },
            .restore =
                [this](const Value& record) {
                    if (LampControlStrip* strip = getStripWithID(presets::stripIdentifier(record)))
                        strip->implementSettingsFromDictionary(record);
                }};
}

Value ManualController::lampSnapshot() {
    return presets::makePreset(getUniqueID(), "", lampStripRecords());
}

void ManualController::restoreLampSnapshot(const Value& snapshot) {
    const Value& strips = snapshot[presets::stripsKey];
    if (!strips.isList()) return;
    for (const Value& record : strips.asList())
        if (LampControlStrip* strip = getStripWithID(presets::stripIdentifier(record)))
            strip->implementSettingsFromDictionary(record);
}

GroupCommands::Strips ManualController::groupStrips() {
    return {.selection = [this](bool groups) { return groups ? groupSelectionView() : lampSelectionView(); },
            .idWithTag = [this](bool group, int tag) -> std::optional<std::string> {
                LampControlStrip* strip = group ? groupWithTag(tag) : stripWithTag(tag);
                if (!strip) return std::nullopt;
                return strip->getID();
            },
            .setPolling = [this](bool enabled) { setPollingEnabled(enabled); },
            .rebuild = [this] { refreshSetUp(); },
            .dropAllStrip =
                [this] {
                    settings_.makeAllGroup.setState(0);
                    defaults_.setObject(makeAllGroupKey, false);
                }};
}

ManualController::~ManualController() {
    presets_.stopWatchingStore();
    stopBackgroundThreads();
    // Delayed calls still queued on the loop find the controller gone.
    lifetime_.reset();
    if (pendingSetUp_) loop_.invalidate(pendingSetUp_);
    discardStrips();
}

void ManualController::stopBackgroundThreads() {
    polling_.requestStop();
    adjustTimesThread_.requestStop();
    polling_.stop();
    adjustTimesThread_.join();
    listening_.stop();
    bulbSearch_.stopAll();
}

// ---------------------------------------------------------------------------
// Start-up, settings and shutdown

std::unique_ptr<platform::Popover> ManualController::makePopover(const std::string& viewName, platform::Size size,
                                                                 platform::Popover::Behavior behavior) {
    auto popover = templates_.makePopover();
    if (!popover) return nullptr;
    popover->setContentView(templates_.loadView(viewName));
    popover->setContentSize(size);
    popover->setBehavior(behavior);
    popover->setAnimates(true);
    popover->setDelegate(this);
    return popover;
}

void ManualController::awakeFromNib() {
    setUp_ = false;
    setPollingEnabled(true);
    layout_.resetSelectionViews();
    locationManager_ = false;

    windowController_ = std::make_unique<manualWindowController>(&controlPanel_);

    defaults_.registerDefaults({{ControllerSettings::transitionMinsKey, Value("30")},
                                {ControllerSettings::presetTransitionKey, Value("0.5")}});
    settings_.bindToDefaults(defaults_);
    // The sound trigger's preset is stored when chosen, so rebuilding the
    // menus (which selects the stored one) keeps the user's choice.
    settings_.soundTriggerPreset.setAction([this](platform::Control*) { storeSoundTriggerPreset(true); });

    using Behavior = platform::Popover::Behavior;
    reNamePopover_ = makePopover("reNameView", {130, 87}, Behavior::Transient);
    // Made in this order, as ever (arguments are evaluated in no set order).
    auto makeGroup = makePopover("makeGroupView", {220, 133}, Behavior::ApplicationDefined);
    auto removeGroup = makePopover("removeGroupView", {214, 86}, Behavior::ApplicationDefined);
    groups_.setPopovers(std::move(makeGroup), std::move(removeGroup));
    duskPopover_ = makePopover("duskView", {253, 130}, Behavior::ApplicationDefined);

    // Both take effect as soon as the user changes them.
    settings_.allowFold.setAction([this](platform::Control*) { allowFoldChanged(); });
    settings_.makeAllGroup.setAction([this](platform::Control*) { makeAllGroupChanged(); });

    reNameEditingField_ = nullptr;
    if (reNamePopover_ && reNamePopover_->contentView()) {
        for (const auto& subview : reNamePopover_->contentView()->subviews()) {
            if (auto* field = dynamic_cast<platform::TextField*>(subview->control())) {
                reNameEditingField_ = field;
                break;
            }
        }
    }
}

void ManualController::applicationDidFinishLaunching() {
    if (scheduleManager_ && scheduleManager_->requiresLocationManager()) turnOnLocationManagerIfNecessary();
    if (application_) statusItem_ = application_->statusItemWithVariableLength();
    testWindowLoaded();
}

void ManualController::turnOnLocationManagerIfNecessary() {
    if (locationManager_) return;
    platform::log("turning on CoreLocation");
    locationManager_ = true;
    std::function<void()> starter;
    {
        std::lock_guard g(starterMutex_);
        starter = locationServiceStarter_;
    }
    if (starter) starter();
}

void ManualController::testWindowLoaded() {
    if (!windowController_ || !windowController_->isWindowLoaded()) {
        loop_.schedule(windowLoadedCheckDelay, [this, alive = std::weak_ptr<void>(lifetime_)] {
            if (alive.lock()) testWindowLoaded();
        });
        return;
    }
    setUp();
}

void ManualController::loadSettingsFromDefaults() {
    double sensitivity = defaults_.doubleForKey(listenerSensitivityKey);
    if (sensitivity != 0 && std::isfinite(sensitivity)) settings_.slSoundSensitivity.setDoubleValue(sensitivity);
    if (defaults_.hasStoredObject(listenerOnPeriodKey))
        settings_.soundOnPeriod.setStringValue(defaults_.objectForKey(listenerOnPeriodKey).textValue());
    if (defaults_.hasStoredObject(soundTriggerDelayKey))
        settings_.soundTriggerDelay.setStringValue(defaults_.objectForKey(soundTriggerDelayKey).textValue());
    selectStoredSoundTriggerPreset();
    // Only ever switched on here; the user's unticking is kept until quit.
    if (defaults_.boolForKey(makeAllGroupKey)) settings_.makeAllGroup.setState(1);
}

void ManualController::dressStatusItem() {
    if (!statusItem_) return;
    statusItem_->setMenu(&statusMenu_);
    statusItem_->setTitle("");
    statusItem_->setImage(statusImageName, {18, 18}, true);
    statusItem_->setAlternateImage(statusImageName, {18, 18}, true);
    statusItem_->setHighlightMode(true);
}

void ManualController::setUp() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::setUp");
    prepareSetUp();
    // A retry that comes once discovery has found nothing for a whole round
    // says so before it searches again (the search takes seconds).
    if (!bridgeBridge_.bridgeAddress() && bridgeState_ == BridgeState::LookingForBridge) noteNoBridgeYet();
    std::optional<Value> lights = bridgeBridge_.lightsArray();
    noteBridgeAnswer(lights);
    if (entries(lights) == 0) {
        platform::log(noLightsMessage);
        retrySetUpLater();
        return;
    }
    controlPanel_.mainWindowThrobber().stopAnimation();
    const bool firstSuccess = !setUp_;
    buildStrips(*lights);
    setUp_ = true;
    if (scheduleManager_) scheduleManager_->matchBridgeWithInternal();
    if (firstSuccess) startBackgroundLoops();
}

void ManualController::prepareSetUp() {
    // A retry still pending is superseded by this run.
    if (pendingSetUp_) {
        loop_.invalidate(pendingSetUp_);
        pendingSetUp_ = 0;
    }
    loadSettingsFromDefaults();
    if (!defaults_.hasStoredObject(ControllerSettings::allowFoldKey))
        defaults_.setObject(ControllerSettings::allowFoldKey, false);
    settings_.showBoundValues(defaults_);
    populatePresetPullDown();
    presets_.forgetLastSelectedPreset();
    // Strips left from an earlier run (a rebuild that found no lamps and
    // retried) would otherwise stay in the window with no controller.
    discardStrips();
    collection_.reserve(10);
    dressStatusItem();
}

void ManualController::retrySetUpLater() {
    // Once the window says no bridge was found, nothing spins there; the
    // retries go on quietly.
    if (bridgeState_ == BridgeState::NoBridgeFound)
        controlPanel_.mainWindowThrobber().stopAnimation();
    else
        controlPanel_.mainWindowThrobber().startAnimation();
    pendingSetUp_ = loop_.schedule(setUpRetryDelay, [this, alive = std::weak_ptr<void>(lifetime_)] {
        if (!alive.lock()) return;
        pendingSetUp_ = 0;
        setUp();
    });
}

void ManualController::buildStrips(const Value& lights) {
    int position = 0;
    for (const Value& record : lights.asList()) buildLampStrip(record, position++);
    setUp_ = true;

    std::optional<Value> groups = bridgeBridge_.groupsArray();
    if (groups && groups->isList()) {
        position = 0;
        for (const Value& record : groups->asList()) buildGroupStrip(record, position++);
    }
    if (settings_.makeAllGroup.state() == 1) {
        platform::log("making all group");
        buildAllStrip();
    }
    layout_.buildSelectionViews();
    recalculateControlStripPositions();
    populateLampsPopUp();
}

void ManualController::startBackgroundLoops() {
    polling_.start();
    if (scheduleManager_) {
        adjustTimesThread_ = platform::BackgroundThread(
            loop_.clock(), [engine = scheduleManager_](std::stop_token stop) { engine->adjustTimes(stop); });
    }
}

void ManualController::discardStrips() {
    // The shared popovers must not keep a strip that goes as their delegate.
    for (platform::Popover* popover : {reNamePopover_.get(), duskPopover_.get()}) {
        if (!popover) continue;
        popover->setDelegate(this);
        if (popover->isShown()) popover->close();
    }
    for (auto& strip : collection_)
        if (platform::View* view = strip->mainView()) view->removeFromSuperview();
    collection_.clear();
    // Read again from the stored state as the strips are built.
    layout_.clear();
}

void ManualController::refreshSetUp() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::refreshSetUp");
    ++rebuilds_;
    discardStrips();
    setUp();
}

bool ManualController::applicationShouldTerminate() {
    platform::log("hub should terminate");
    defaults_.setObject(listenerSensitivityKey, settings_.slSoundSensitivity.floatValue());
    defaults_.setObject(listenerOnPeriodKey, settings_.soundOnPeriod.stringValue());
    defaults_.setObject(soundTriggerDelayKey, settings_.soundTriggerDelay.stringValue());
    storeSoundTriggerPreset();
    defaults_.setObject(makeAllGroupKey, settings_.makeAllGroup.state() == 1);
    if (scheduleManager_) scheduleManager_->saveActions();
    // The process ends right after this; the values must be on disk by then.
    defaults_.synchronize();
    return true;
}

void ManualController::selectStoredSoundTriggerPreset() {
    // A bridge scene chosen for the trigger, while the pop-up lists it.
    if (const std::string scene = defaults_.stringForKey(soundTriggerSceneKey); !scene.empty()) {
        const auto items = settings_.soundTriggerPreset.items();
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].represented == scene && settings_.soundTriggerPreset.selectItemAtIndex(i)) return;
    }
    const Value stored = defaults_.objectForKey(soundTriggerPresetKey);
    if (stored.isText())
        settings_.soundTriggerPreset.selectItemWithTitle(stored.textValue());
    else if (stored.isNumber() && stored.intValue() != 0 &&
             settings_.soundTriggerPreset.selectItemWithTag(static_cast<int>(stored.intValue())))
        storeSoundTriggerPreset();  // from now on by name
}

void ManualController::storeSoundTriggerPreset(bool chosenNow) {
    auto selected = settings_.soundTriggerPreset.selectedItem();
    // A bridge scene goes under a key of its own: the preset key keeps a
    // preset's name, which is all an older profile (or version) reads.
    if (selected && !selected->represented.empty()) {
        defaults_.setObject(soundTriggerSceneKey, selected->represented);
        return;
    }
    const bool aPreset = selected && !getPresetList(false).empty();
    defaults_.setObject(soundTriggerPresetKey, aPreset ? selected->title : std::string());
    // Only the user's choice replaces a scene: before the bridge's scenes
    // were read, the pop-up shows the stored preset in its place.
    if (chosenNow) defaults_.removeObject(soundTriggerSceneKey);
}

void ManualController::showManualControl() {
    if (application_) application_->activateIgnoringOtherApps(true);
    controlPanel_.makeKeyAndOrderFront();
}

void ManualController::visitHelp() {
    if (workspace_ && !helpPageURL_.empty()) workspace_->openURL(helpPageURL_);
}

void ManualController::populatePresetPullDown() {
    platform::PopUpButton& chooser = settings_.soundTriggerPreset;
    chooser.removeAllItems();
    platform::Menu& pullDown = presetPullDown();
    pullDown.removeAllItems();
    statusMenu_.removeAllItems();
    pullDown.addItem(presetsTitle, 0, {});
    pullDown.addItem(managePresetsTitle, 0, [this](const platform::Menu::Item&) { showPresetManagementPanel(); });
    pullDown.addSeparator();
    statusMenu_.addItem("Turn all on", 0, [this](const platform::Menu::Item&) { allOn(); });
    statusMenu_.addItem("Turn all off", 0, [this](const platform::Menu::Item&) { allOff(); });
    statusMenu_.addSeparator();

    // Reading the list anew also updates the names the bus answers from.
    Value presets = getPresetList(true);
    int index = 0;
    for (const Value& preset : presets.asList()) {
        std::string name = preset["name"].textValue();
        auto apply = [this](const platform::Menu::Item& item) { implementPreset(item.tag); };
        chooser.addItem(name, index);
        pullDown.addItem(name, index, apply);
        statusMenu_.addItem(name, index, apply);
        ++index;
    }
    if (index > 0) {
        selectStoredSoundTriggerPreset();
    } else {
        pullDown.addItem(noPresetsTitle, 0, {});
        chooser.addItem(noPresetsTitle, 0);
    }

    statusMenu_.addSeparator();
    statusMenu_.addItem("Show manual control", 0, [this](const platform::Menu::Item&) { showManualControl(); });
    std::function<void()> observer;
    {
        std::lock_guard lock(presetHooksMutex_);
        observer = presetMenusObserver_;
    }
    if (observer) observer();
}

void ManualController::setLampsReadObserver(std::function<void(const Value& lamps)> observer) {
    std::lock_guard lock(presetHooksMutex_);
    lampsReadObserver_ = std::move(observer);
}

void ManualController::setPresetMenusObserver(std::function<void()> observer) {
    std::lock_guard lock(presetHooksMutex_);
    presetMenusObserver_ = std::move(observer);
}

void ManualController::setSceneRecaller(std::function<bool(const std::string& sceneID)> recaller) {
    std::lock_guard lock(presetHooksMutex_);
    sceneRecaller_ = std::move(recaller);
}

void ManualController::populateLampsPopUp() {
    refreshLampsMenu();
    if (!lampsPopUp_) return;
    lampsPopUp_->removeAllItems();
    for (const auto& strip : collection_)
        if (!strip->isGroup()) lampsPopUp_->addItem("lamp: " + strip->label()->stringValue(), strip->tag());
    for (const auto& strip : collection_)
        if (strip->isGroup()) lampsPopUp_->addItem("group: " + strip->label()->stringValue(), strip->tag());
    if (settings_.makeAllGroup.state() != 1) lampsPopUp_->addItem("group: All", 0);
}

// ---------------------------------------------------------------------------
// Building and laying out the strips

std::unique_ptr<LampControlStrip> ManualController::makeStrip(bool group) {
    std::shared_ptr<platform::View> view = templates_.loadView(stripTemplateName);
    if (!view) {
        platform::log("strip template SingleControl could not be loaded");
        return nullptr;
    }
    auto strip = std::make_unique<LampControlStrip>();
    LampControlStrip* target = strip.get();
    auto act = [target](platform::Control* sender) { target->handleControl(sender); };
    strip->setGroup(group);
    // Wired by tag and by type: a template whose control is not of the
    // expected kind leaves that part of the strip unwired.
    for (const auto& subview : view->subviews()) {
        platform::Control* control = subview->control();
        if (!control) {
            if (subview->identifier() == "horizontal") strip->setHorizontalRule(subview.get());
            continue;
        }
        switch (control->tag()) {
            case 1:
                strip->setLabel(dynamic_cast<platform::TextField*>(control));
                break;
            case 2:
                if (auto* button = dynamic_cast<platform::Button*>(control)) {
                    strip->setOnOffButton(button);
                    button->setAction(act);
                }
                break;
            case 3:
            case 4:
            case 5:
                if (auto* slider = dynamic_cast<platform::Slider*>(control)) {
                    if (control->tag() == 3) strip->setBrightnessSlider(slider);
                    if (control->tag() == 4) strip->setColourSlider(slider);
                    if (control->tag() == 5) strip->setSatSlider(slider);
                    slider->setAction(act);
                }
                break;
            case 7:
                if (group) {
                    if (auto* caption = dynamic_cast<platform::TextField*>(control)) {
                        strip->setGroupLabel(caption);
                        caption->setStringValue("Group");
                    }
                }
                break;
            case 6:
                control->setAction([target](platform::Control*) { target->renameButtonPressed(); });
                break;
            case 8:
                strip->setDuskButton(dynamic_cast<platform::Button*>(control));
                control->setAction([target](platform::Control*) { target->showDuskPopover(); });
                break;
            case 9:
                if (auto* slider = dynamic_cast<platform::Slider*>(control)) {
                    strip->setColourTemperatureSlider(slider);
                    slider->setAction(act);
                }
                break;
            default:
                break;
        }
    }
    strip->setDuskPopover(duskPopover_.get());
    strip->setDefaults(&defaults_);
    strip->setBridgeBridge(&bridgeBridge_);
    strip->setOwner(this);
    auto stripView = std::make_unique<ControlStripView>(view);
    stripView->setTarget(target);
    strip->setControlStripView(std::move(stripView));
    return strip;
}

void ManualController::placeStrip(std::unique_ptr<LampControlStrip> strip) {
    collection_.push_back(std::move(strip));
    layout_.place(*collection_.back());
}

namespace {

// True when one of these lamps' strips has colour sliders.
bool anyLampHasColour(ManualController& controller, const std::vector<std::string>& lampIds) {
    // Lamps the strips do not know leave the colour sliders in place.
    bool known = false;
    for (const std::string& id : lampIds) {
        if (LampControlStrip* lamp = controller.getStripWithID(id)) {
            if (lamp->hasColour()) return true;
            known = true;
        }
    }
    return !known;
}

}  // namespace

void ManualController::buildLampStrip(const Value& record, int position) {
    auto strip = makeStrip(false);
    if (!strip) return;
    strip->setID(record["id"].textValue());
    strip->setObjectForKey(record["onoff"].boolValue(), LampControlStrip::onoffKey);
    strip->setObjectForKey(record["brightness"], LampControlStrip::brightnessKey);
    strip->setObjectForKey(record["colour"], LampControlStrip::colourKey);
    strip->setObjectForKey(255.0 - record["saturation"].doubleValue(), LampControlStrip::saturationKey);
    strip->setObjectForKey(record["label"], LampControlStrip::labelKey);
    strip->setCapabilities(record.contains("colour"), record.contains("ct"));
    strip->setColourMode(record["state"][LampControlStrip::colourModeKey].textValue());
    if (record.contains("ct")) strip->setObjectForKey(record["ct"], LampControlStrip::colourTemperatureKey);
    strip->setReNamePopover(reNamePopover_.get());
    strip->setReNameEditingField(reNameEditingField_);
    strip->setTag(position);
    placeStrip(std::move(strip));
}

void ManualController::buildGroupStrip(const Value& record, int position) {
    auto strip = makeStrip(true);
    if (!strip) return;
    strip->setObjectForKey(record["onoff"].boolValue(), LampControlStrip::onoffKey);
    strip->setObjectForKey(record["brightness"], LampControlStrip::brightnessKey);
    strip->setObjectForKey(record["colour"], LampControlStrip::colourKey);
    strip->setObjectForKey(255.0 - record["saturation"].doubleValue(), LampControlStrip::saturationKey);
    strip->setID(record["id"].textValue());
    strip->setObjectForKey(record["label"], LampControlStrip::labelKey);
    strip->setTag(position + 1);
    strip->setCapabilities(anyLampHasColour(*this, BridgeBridge::memberIdentifiers(record["lights"].textValue())),
                           false);
    strip->setReNamePopover(reNamePopover_.get());
    strip->setReNameEditingField(reNameEditingField_);
    placeStrip(std::move(strip));
}

void ManualController::buildAllStrip() {
    auto strip = makeStrip(true);
    if (!strip) return;
    strip->setID("0");
    strip->setObjectForKey("All", LampControlStrip::labelKey);
    strip->setTag(countGroupStrips() + 1);
    std::vector<std::string> lamps;
    for (const auto& lamp : collection_)
        if (!lamp->isGroup()) lamps.push_back(lamp->getID());
    strip->setCapabilities(anyLampHasColour(*this, lamps), false);
    // What the bridge holds for all its lamps shows from the start, not
    // only after the first poll.
    std::optional<Value> settings = bridgeBridge_.settingsForGroup("0");
    if (settings && settings->contains("onoff") && settings->contains("brightness"))
        strip->implementSettingsFromDictionaryWithoutActing(BridgePolling::syncRecord(*settings, false));
    placeStrip(std::move(strip));
}

void ManualController::recalculateControlStripPositions() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::recalculateControlStripPositions");
    layout_.arrange();
}

// ---------------------------------------------------------------------------
// Lookups

LampControlStrip* ManualController::getStripWithID(const std::string& id) const {
    for (const auto& strip : collection_)
        if (!strip->isGroup() && strip->getID() == id) return strip.get();
    return nullptr;
}

LampControlStrip* ManualController::getGroupStripWithID(const std::string& id) const {
    for (const auto& strip : collection_)
        if (strip->isGroup() && strip->getID() == id) return strip.get();
    return nullptr;
}

LampControlStrip* ManualController::stripWithTag(int tag) const {
    for (const auto& strip : collection_)
        if (!strip->isGroup() && strip->tag() == tag) return strip.get();
    return nullptr;
}

LampControlStrip* ManualController::groupWithTag(int tag) const {
    for (const auto& strip : collection_)
        if (strip->isGroup() && strip->tag() == tag) return strip.get();
    return nullptr;
}

std::optional<std::string> ManualController::IDforTagGroup(int tag, bool group) const {
    if (tag == 0 && group) return "0";
    LampControlStrip* strip = group ? groupWithTag(tag) : stripWithTag(tag);
    if (!strip) return std::nullopt;
    return strip->getID();
}

int ManualController::countLightStrips() const {
    return static_cast<int>(
        std::count_if(collection_.begin(), collection_.end(), [](const auto& s) { return !s->isGroup(); }));
}

int ManualController::countGroupStrips() const {
    return static_cast<int>(std::count_if(collection_.begin(), collection_.end(),
                                          [](const auto& s) { return s->isGroup() && s->getID() != "0"; }));
}

std::optional<Value> ManualController::getUIStateForGroupID(bool group, const std::string& id) const {
    return layout_.stateFor(group, id);
}

void ManualController::saveUIState(LampControlStrip*) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::saveUIState");
    layout_.save();
}

LampControlStrip* ManualController::stripForView(const platform::View* view) const {
    for (const auto& strip : collection_)
        if (view && strip->mainView() == view) return strip.get();
    return nullptr;
}

void ManualController::hideStrip(LampControlStrip* strip) {
    if (!strip) return;
    layout_.hide(*strip);
    recalculateControlStripPositions();
    saveUIState(strip);
}

void ManualController::showHiddenStrips() {
    layout_.showHidden();
    recalculateControlStripPositions();
    saveUIState(nullptr);
}

void ManualController::moveStrip(LampControlStrip* strip, int step) {
    if (!strip || !layout_.move(*strip, step)) return;
    recalculateControlStripPositions();
    saveUIState(strip);
}

bool ManualController::allowFold() const {
    return defaults_.boolForKey(ControllerSettings::allowFoldKey);
}

// ---------------------------------------------------------------------------
// Commands to all lamps

Value ManualController::lampStripRecords() const {
    Value strips = Value::emptyList();
    for (const auto& strip : collection_)
        if (!strip->isGroup()) strips.append(strip->getDictionary());
    return strips;
}

void ManualController::allOn() {
    stripDidChange();
    bridgeBridge_.allOn(true);
    showAllSwitched(true);
}

void ManualController::allOff() {
    stripDidChange();
    bridgeBridge_.allOn(false);
    showAllSwitched(false);
}

void ManualController::showAllSwitched(bool on) {
    // The strips show the command at once rather than at the next poll (up to
    // a cycle later); polling pauses, as after a strip's own change, so a
    // reading taken before the bridge had the command does not undo it.
    setPollingEnabled(false);
    for (const auto& strip : collection_) strip->showSwitchedByCommand(on);
    loop_.schedule(allSwitchedPause, [this, alive = std::weak_ptr<void>(lifetime_)] {
        if (alive.lock()) setPollingEnabled(true);
    });
}

void ManualController::sendSettingsToStripsInGroup(const Value& settings, const std::string& groupId) {
    std::optional<Value> members =
        groupId == "0" ? bridgeBridge_.lightsArray() : bridgeBridge_.lightsArrayForGroup(groupId);
    if (!members || !members->isList()) return;
    for (const Value& member : members->asList())
        if (LampControlStrip* strip = getStripWithID(member["id"].textValue()))
            strip->implementSettingsFromDictionaryWithoutActing(settings);
}

}  // namespace glowmere
