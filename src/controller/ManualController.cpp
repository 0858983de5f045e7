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
constexpr auto pollingCycle = std::chrono::seconds(6);
constexpr auto allSwitchedPause = std::chrono::seconds(5);

std::string format(const char* pattern, long long a, long long b) {
    char line[160];
    std::snprintf(line, sizeof line, pattern, a, b);
    return line;
}

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
      bulbSearch_(bridge, loop.clock(), handoff_,
                  {.has = [this](const std::string& id) { return getStripWithID(id) != nullptr; },
                   .showSearching =
                       [this](bool searching) {
                           if (searching)
                               controlPanel_.mainWindowThrobber().startAnimation();
                           else
                               controlPanel_.mainWindowThrobber().stopAnimation();
                       },
                   .rebuild = [this] { refreshSetUp(); }}) {
    // The bus may ask for the names before the controller thread has built
    // its menus (start-up waits on the bridge): the stored list answers then.
    knownPresetNames_ = presets::names(presets::storedList(defaults_));
    // A list another process (glowmerectl) stored shows in the menus and
    // the table once the store notices it.
    presetsObserver_ = defaults_.addChangeObserver([this](const std::set<std::string>& keys) {
        if (!keys.count(presetsKey)) return;
        if (loop_.isLoopThread() || !loop_.isRunning())
            presetsChangedElsewhere();
        else
            postToController([this] { presetsChangedElsewhere(); });
    });
}

ManualController::~ManualController() {
    defaults_.removeChangeObserver(presetsObserver_);
    stopBackgroundThreads();
    // Delayed calls still queued on the loop find the controller gone.
    lifetime_.reset();
    if (pendingSetUp_) loop_.invalidate(pendingSetUp_);
    if (soundTriggerTimer_) loop_.invalidate(soundTriggerTimer_);
    discardStrips();
}

void ManualController::stopBackgroundThreads() {
    pollingThread_.requestStop();
    adjustTimesThread_.requestStop();
    countdownThread_.requestStop();
    pollingThread_.join();
    adjustTimesThread_.join();
    countdownThread_.join();
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
    pollingEnabled_ = true;
    lampSelectionView_.reset();
    locationManager_ = false;

    windowController_ = std::make_unique<manualWindowController>(&controlPanel_);

    defaults_.registerDefaults({{ControllerSettings::transitionMinsKey, Value("30")},
                                {ControllerSettings::presetTransitionKey, Value("0.5")}});
    settings_.bindToDefaults(defaults_);
    // The sound trigger's preset is stored when chosen, so rebuilding the
    // menus (which selects the stored one) keeps the user's choice.
    settings_.soundTriggerPreset.setAction([this](platform::Control*) { storeSoundTriggerPreset(); });

    using Behavior = platform::Popover::Behavior;
    reNamePopover_ = makePopover("reNameView", {130, 87}, Behavior::Transient);
    makeGroupPopover_ = makePopover("makeGroupView", {220, 133}, Behavior::ApplicationDefined);
    removeGroupPopover_ = makePopover("removeGroupView", {214, 86}, Behavior::ApplicationDefined);
    duskPopover_ = makePopover("duskView", {253, 130}, Behavior::ApplicationDefined);

    wireGroupPopovers();
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
    if (locationServiceStarter_) locationServiceStarter_();
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
    lastSelectedPreset_ = -1;
    // Strips left from an earlier run (a rebuild that found no lamps and
    // retried) would otherwise stay in the window with no controller.
    discardStrips();
    collection_.reserve(10);
    dressStatusItem();

    // A retry that comes once discovery has found nothing for a whole round
    // says so before it searches again (the search takes seconds).
    if (!bridgeBridge_.bridgeAddress() && bridgeState_ == BridgeState::LookingForBridge) noteNoBridgeYet();
    std::optional<Value> lights = bridgeBridge_.lightsArray();
    noteBridgeAnswer(lights);
    if (entries(lights) == 0) {
        platform::log(noLightsMessage);
        // Once the window says no bridge was found, nothing spins there;
        // the retries go on quietly.
        if (bridgeState_ == BridgeState::NoBridgeFound)
            controlPanel_.mainWindowThrobber().stopAnimation();
        else
            controlPanel_.mainWindowThrobber().startAnimation();
        pendingSetUp_ = loop_.schedule(setUpRetryDelay, [this, alive = std::weak_ptr<void>(lifetime_)] {
            if (!alive.lock()) return;
            pendingSetUp_ = 0;
            setUp();
        });
        return;
    }
    controlPanel_.mainWindowThrobber().stopAnimation();
    bool firstSuccess = !setUp_;

    int position = 0;
    for (const Value& record : lights->asList()) buildLampStrip(record, position++);
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
    buildSelectionViews();
    recalculateControlStripPositions();
    populateLampsPopUp();
    setUp_ = true;
    if (scheduleManager_) scheduleManager_->matchBridgeWithInternal();

    if (firstSuccess) {
        platform::Clock& clock = loop_.clock();
        ++pollingLoopsStarted_;
        pollingThread_ = platform::BackgroundThread(clock, [this](std::stop_token stop) { pollBridge(stop); });
        if (scheduleManager_) {
            adjustTimesThread_ = platform::BackgroundThread(
                clock, [engine = scheduleManager_](std::stop_token stop) { engine->adjustTimes(stop); });
        }
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
    places_.clear();
    hiddenStrips_.clear();
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
    const Value stored = defaults_.objectForKey(soundTriggerPresetKey);
    if (stored.isText())
        settings_.soundTriggerPreset.selectItemWithTitle(stored.textValue());
    else if (stored.isNumber() && stored.intValue() != 0 &&
             settings_.soundTriggerPreset.selectItemWithTag(static_cast<int>(stored.intValue())))
        storeSoundTriggerPreset();  // from now on by name
}

void ManualController::storeSoundTriggerPreset() {
    auto selected = settings_.soundTriggerPreset.selectedItem();
    const bool aPreset = selected && !getPresetList(false).empty();
    defaults_.setObject(soundTriggerPresetKey, aPreset ? selected->title : std::string());
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
    presetPullDown_.removeAllItems();
    statusMenu_.removeAllItems();
    presetPullDown_.addItem(presetsTitle, 0, {});
    presetPullDown_.addItem(managePresetsTitle, 0,
                            [this](const platform::Menu::Item&) { showPresetManagementPanel(); });
    presetPullDown_.addSeparator();
    statusMenu_.addItem("Turn all on", 0, [this](const platform::Menu::Item&) { allOn(); });
    statusMenu_.addItem("Turn all off", 0, [this](const platform::Menu::Item&) { allOff(); });
    statusMenu_.addSeparator();

    Value presets = getPresetList(true);
    {
        std::lock_guard lock(knownPresetNamesMutex_);
        knownPresetNames_ = presets::names(presets);
    }
    int index = 0;
    for (const Value& preset : presets.asList()) {
        std::string name = preset["name"].textValue();
        auto apply = [this](const platform::Menu::Item& item) { implementPreset(item.tag); };
        chooser.addItem(name, index);
        presetPullDown_.addItem(name, index, apply);
        statusMenu_.addItem(name, index, apply);
        ++index;
    }
    if (index > 0) {
        selectStoredSoundTriggerPreset();
    } else {
        presetPullDown_.addItem(noPresetsTitle, 0, {});
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
    double n = static_cast<double>(collection_.size());
    platform::View* view = strip->mainView();
    view->setFrameOrigin({n * stripPitch + stripMargin, stripMargin});
    controlPanel_.contentView().addSubview(strip->getControlStripView()->sharedView());
    collection_.push_back(std::move(strip));
    LampControlStrip* placed = collection_.back().get();
    auto state = getUIStateForGroupID(placed->isGroup(), placed->getID());
    if (state && state->contains("place")) places_[keyOf(*placed)] = (*state)["place"].intValue();
    if (state && (*state)["hidden"].boolValue()) {
        hiddenStrips_.insert(keyOf(*placed));
        view->setHidden(true);
    }
    if (state && (*state)["folded"].boolValue()) placed->rotateControlStripView(true);
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
        strip->implementSettingsFromDictionaryWithoutActing(syncRecord(*settings, false));
    placeStrip(std::move(strip));
}

void ManualController::buildSelectionViews() {
    if (lampSelectionView_) lampSelectionView_->view().removeFromSuperview();
    if (groupSelectionView_) groupSelectionView_->view().removeFromSuperview();
    platform::Rect frame{{18, 10}, {static_cast<double>(collection_.size()) * stripPitch, 20}};
    lampSelectionView_ = std::make_unique<LampSelectionView>(frame);
    groupSelectionView_ = std::make_unique<LampSelectionView>(frame);
    for (std::size_t k = 0; k < collection_.size(); ++k) {
        const auto& strip = collection_[k];
        LampSelectionView& row = strip->isGroup() ? *groupSelectionView_ : *lampSelectionView_;
        row.addCheckbox({{static_cast<double>(k) * stripPitch + 38.5, 0}, {18, 18}}, strip->tag());
    }
    for (LampSelectionView* row : {lampSelectionView_.get(), groupSelectionView_.get()}) {
        controlPanel_.contentView().addSubview(row->sharedView());
        row->view().setHidden(true);
    }
}

void ManualController::recalculateControlStripPositions() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::recalculateControlStripPositions");
    double x = stripMargin;
    auto checkboxOf = [this](const LampControlStrip& strip) -> platform::View* {
        LampSelectionView* row = strip.isGroup() ? groupSelectionView_.get() : lampSelectionView_.get();
        return row ? row->checkboxWithTag(strip.tag()) : nullptr;
    };
    // In the user's order; hidden strips take no room and offer no box.
    const std::vector<LampControlStrip*> order = displayOrder();
    std::vector<LampControlStrip*> shown;
    for (LampControlStrip* strip : order) {
        const bool hidden = hiddenStrips_.count(keyOf(*strip)) > 0;
        if (platform::View* box = checkboxOf(*strip)) box->setHidden(hidden);
        if (!hidden) shown.push_back(strip);
    }
    for (LampControlStrip* strip : shown) {
        if (!strip->isRotated()) continue;
        x += foldedPitch;
        if (platform::View* view = strip->mainView()) view->setFrameOrigin({x, foldedY}, true);
        if (platform::View* box = checkboxOf(*strip)) box->setFrameOrigin({x - 44, box->frame().origin.y});
    }
    for (LampControlStrip* strip : shown) {
        if (strip->isRotated()) continue;
        if (platform::View* view = strip->mainView()) view->setFrameOrigin({x, stripMargin}, true);
        x += stripPitch;
        if (platform::View* box = checkboxOf(*strip)) box->setFrameOrigin({x - 76, box->frame().origin.y});
    }
    platform::Rect frame = controlPanel_.frame();
    frame.size.width = std::max(minimumWindowWidth, x + 156);
    controlPanel_.setFrame(frame, true);
    for (LampSelectionView* row : {lampSelectionView_.get(), groupSelectionView_.get()})
        if (row) row->view().setFrameSize({x, row->view().frame().size.height});
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
    Value entries = defaults_.objectForKey(uiStateKey);
    if (!entries.isList()) return std::nullopt;
    for (const Value& entry : entries.asList())
        if (entry.isMap() && entry["group"].boolValue() == group && entry["ID"].textValue() == id) return entry;
    return std::nullopt;
}

void ManualController::saveUIState(LampControlStrip* strip) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::saveUIState");
    // Every strip's entry, written anew: strips that are gone leave the list.
    (void)strip;
    Value entries = Value::emptyList();
    for (const auto& each : collection_) {
        Value entry = Value::map({{"ID", each->getID()}, {"folded", each->isRotated()}, {"group", each->isGroup()}});
        if (auto place = places_.find(keyOf(*each)); place != places_.end()) entry.set("place", place->second);
        if (hiddenStrips_.count(keyOf(*each))) entry.set("hidden", true);
        entries.append(std::move(entry));
    }
    defaults_.setObject(uiStateKey, std::move(entries));
}

std::vector<LampControlStrip*> ManualController::displayOrder() const {
    std::vector<LampControlStrip*> order;
    for (const auto& strip : collection_) order.push_back(strip.get());
    // Strips the user placed by their place; new ones after them, in the
    // bridge's order.
    auto placeOf = [this](const LampControlStrip* strip) {
        auto it = places_.find(keyOf(*strip));
        return it == places_.end() ? std::numeric_limits<int>::max() : it->second;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](const LampControlStrip* a, const LampControlStrip* b) { return placeOf(a) < placeOf(b); });
    return order;
}

LampControlStrip* ManualController::stripForView(const platform::View* view) const {
    for (const auto& strip : collection_)
        if (view && strip->mainView() == view) return strip.get();
    return nullptr;
}

void ManualController::hideStrip(LampControlStrip* strip) {
    if (!strip) return;
    hiddenStrips_.insert(keyOf(*strip));
    if (platform::View* view = strip->mainView()) view->setHidden(true);
    recalculateControlStripPositions();
    saveUIState(strip);
}

void ManualController::showHiddenStrips() {
    for (const auto& strip : collection_)
        if (hiddenStrips_.count(keyOf(*strip)))
            if (platform::View* view = strip->mainView()) view->setHidden(false);
    hiddenStrips_.clear();
    recalculateControlStripPositions();
    saveUIState(nullptr);
}

void ManualController::moveStrip(LampControlStrip* strip, int step) {
    if (!strip || step == 0) return;
    std::vector<LampControlStrip*> order = displayOrder();
    auto at = std::find(order.begin(), order.end(), strip);
    if (at == order.end()) return;
    // The next shown strip that way changes places with it.
    auto other = at;
    do {
        if (step < 0 && other == order.begin()) return;
        other += step < 0 ? -1 : 1;
        if (other == order.end()) return;
    } while (hiddenStrips_.count(keyOf(**other)));
    std::iter_swap(at, other);
    places_.clear();
    for (std::size_t i = 0; i < order.size(); ++i) places_[keyOf(*order[i])] = static_cast<int>(i);
    recalculateControlStripPositions();
    saveUIState(strip);
}

bool ManualController::allowFold() const {
    return defaults_.boolForKey(ControllerSettings::allowFoldKey);
}

// ---------------------------------------------------------------------------
// Polling

bool ManualController::runOnController(std::function<void()> task, std::stop_token stop) {
    return handoff_.runAndWait(std::move(task), stop);
}

void ManualController::postToController(std::function<void()> task) {
    handoff_.post(std::move(task));
}

void ManualController::pollBridge(std::stop_token stop) {
    // Set-up has just read everything; the first cycle comes one period later.
    while (loop_.clock().sleepFor(pollingCycle, stop)) pollOnce(stop);
}

std::optional<bool> ManualController::rebuildIfBridgeHasMore(int count, bool groups, std::stop_token stop) {
    // The counts are read and the rebuild runs on the controller thread;
    // this thread waits, so it never reads strips mid-rebuild.
    auto rebuilt = std::make_shared<bool>(false);
    if (!runOnController(
            [this, count, groups, rebuilt] {
                int strips = groups ? countGroupStrips() : countLightStrips();
                if (count > strips) {
                    platform::log(format(groups ? "groupsArray has %lld groups, %lld returned by bridgebridge"
                                                : "lightsArray has %lld lamps, %lld returned by bridgebridge",
                                         count, strips));
                    refreshSetUp();
                    *rebuilt = true;
                }
            },
            stop))
        return std::nullopt;
    return *rebuilt;
}

void ManualController::pollOnce(std::stop_token stop) {
    if (!pollingEnabled_) return;

    std::optional<Value> lights = bridgeBridge_.lightsArray();
    noteBridgeAnswer(lights);
    std::optional<bool> rebuilt = rebuildIfBridgeHasMore(static_cast<int>(entries(lights)), false, stop);
    if (!rebuilt) return;
    if (!*rebuilt && lights && lights->isList()) updateLamps(*lights);
    if (lights && lights->isList()) {
        std::function<void(const Value&)> observer;
        {
            std::lock_guard lock(presetHooksMutex_);
            observer = lampsReadObserver_;
        }
        if (observer) observer(*lights);
    }

    std::optional<Value> groups = bridgeBridge_.groupsArray();
    rebuilt = rebuildIfBridgeHasMore(static_cast<int>(entries(groups)), true, stop);
    if (!rebuilt) return;
    if (!*rebuilt && groups && groups->isList()) updateGroups(*groups);

    if (settings_.makeAllGroup.state() == 1) updateGroupAll();
    postToController([this] { refreshLampsMenu(); });
}

Value ManualController::syncRecord(const Value& record, bool withLabel) {
    Value sync = Value::emptyMap();
    sync.set(LampControlStrip::onoffKey, record["onoff"].boolValue());
    sync.set(LampControlStrip::brightnessKey, record["brightness"].doubleValue());
    if (record.contains("colour")) sync.set(LampControlStrip::colourKey, record["colour"].doubleValue());
    if (withLabel) sync.set(LampControlStrip::labelKey, record["label"]);
    if (record.contains("saturation"))
        sync.set(LampControlStrip::saturationKey, 255.0 - record["saturation"].doubleValue());
    if (record.contains("ct")) sync.set(LampControlStrip::colourTemperatureKey, record["ct"].doubleValue());
    if (const Value mode = record["state"][LampControlStrip::colourModeKey]; !mode.isNull())
        sync.set(LampControlStrip::colourModeKey, mode);
    return sync;
}

void ManualController::updateLamps(const Value& lamps) {
    if (!lamps.isList()) return;
    for (const Value& record : lamps.asList()) {
        if (!record.contains("onoff") || !record.contains("brightness") || !record.contains("label")) continue;
        postToController([this, id = record["id"].textValue(), sync = syncRecord(record, true)] {
            if (!pollingEnabled_) return;  // read before a change that paused polling
            if (LampControlStrip* strip = getStripWithID(id)) strip->implementSettingsFromDictionaryWithoutActing(sync);
        });
    }
}

void ManualController::updateGroups(const Value& groups) {
    if (!groups.isList()) return;
    // The list just read holds each group's settings; no request per group.
    for (const Value& record : groups.asList()) {
        std::string id = record["id"].textValue();
        if (!record.contains("onoff") || !record.contains("brightness")) continue;
        postToController([this, id, sync = syncRecord(record, false)] {
            if (!pollingEnabled_) return;
            if (LampControlStrip* strip = getGroupStripWithID(id))
                strip->implementSettingsFromDictionaryWithoutActing(sync);
        });
    }
}

void ManualController::updateGroupAll() {
    std::optional<Value> settings = bridgeBridge_.settingsForGroup("0");
    if (!settings || !settings->contains("onoff") || !settings->contains("brightness")) return;
    postToController([this, sync = syncRecord(*settings, false)] {
        if (!pollingEnabled_) return;
        LampControlStrip* strip = getGroupStripWithID("0");
        if (!strip) {
            platform::log("can't find all group");
            return;
        }
        strip->implementSettingsFromDictionaryWithoutActing(sync);
    });
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
