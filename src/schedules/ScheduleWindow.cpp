#include "schedules/ScheduleWindow.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "platform/Log.h"

namespace glowmere {

namespace chr = std::chrono;

const std::array<const char*, 7> ScheduleWindow::kindTitles = {
    "On & Off", "On", "Off", "Colour and brightness", "Listening", "False dawn", "False dusk"};

namespace {

const char* const dayKeys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
const char* const dayTitles[] = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
const char* const allMatchReport = "Everything on the bridge matches your schedules.";
const char* const timeHelp = "HH:MM";

}  // namespace

ScheduleWindow::ScheduleWindow(ScheduleManager& manager, BridgeBridge& bridge, platform::DefaultsStore& defaults)
    : manager_(manager), bridge_(bridge), defaults_(defaults), actionWindowController_({}) {
    for (std::size_t i = 0; i < days_.size(); ++i) days_[i] = std::make_shared<platform::Button>(dayTitles[i]);
    for (int kind = 0; kind < 7; ++kind) btnAction_->addItem(kindTitles[static_cast<std::size_t>(kind)], kind);
    btnAction_->selectItemWithTag(0);
    for (auto* field : {tfManagerStatus_.get(), tfReport_.get(), tfActivity_.get(), tfEditorMessage_.get()})
        field->setAlignment(platform::TextField::Alignment::Left);
    manager_.setManagerStatusField(tfManagerStatus_.get());

    setLampsPopUp(nullptr);
    btnAction_->setAction([this](platform::Control* sender) { actionWindowController_.handleControl(sender); });
    btnColourBrightness_->setAction(
        [this](platform::Control* sender) { actionWindowController_.handleControl(sender); });
    btnLinkSunriseSunset_->setAction([this](platform::Control* sender) { handleControl(sender); });
}

ScheduleWindow::~ScheduleWindow() {
    manager_.setManagerStatusField(nullptr);
}

void ScheduleWindow::setLampsPopUp(platform::PopUpButton* popUp) {
    // The application owns the chooser and outlives this window.
    btnLamp_ = popUp ? std::shared_ptr<platform::PopUpButton>(popUp, [](platform::PopUpButton*) {}) : nullptr;
    ActionWindowController::Controls controls;
    controls.actionPopup = btnAction_.get();
    controls.onTime = tfOn_.get();
    controls.onTimeLabel = onTimeLabel_.get();
    controls.onTimeHelpLabel = onTimeHelpLabel_.get();
    controls.offTime = tfOff_.get();
    controls.offTimeLabel = offTimeLabel_.get();
    controls.offTimeHelpLabel = offTimeHelpLabel_.get();
    controls.btnLamp = btnLamp_.get();
    controls.lampLabel = lampLabel_.get();
    controls.btnColourBrightness = btnColourBrightness_.get();
    controls.slBrightness = slBrightness_.get();
    controls.slColour = slColour_.get();
    controls.slSaturation = slSaturation_.get();
    controls.brightnessLabel = brightnessLabel_.get();
    controls.colourLabel = colourLabel_.get();
    controls.saturationLabel = saturationLabel_.get();
    controls.colourBezel = colourBezel_.get();
    controls.btnVary = btnVary_.get();
    actionWindowController_ = ActionWindowController(controls);
}

void ScheduleWindow::setRowsObserver(std::function<void()> observer) {
    std::lock_guard lock(rowsMutex_);
    rowsObserver_ = std::move(observer);
}

std::shared_ptr<platform::Control> ScheduleWindow::sharedControl(const platform::Control& control) const {
    const std::shared_ptr<platform::Control> all[] = {tfName_,
                                                      tfOn_,
                                                      tfOff_,
                                                      slBrightness_,
                                                      slColour_,
                                                      slSaturation_,
                                                      btnVary_,
                                                      btnColourBrightness_,
                                                      btnLinkSunriseSunset_,
                                                      btnAction_,
                                                      btnLamp_,
                                                      onTimeLabel_,
                                                      onTimeHelpLabel_,
                                                      offTimeLabel_,
                                                      offTimeHelpLabel_,
                                                      lampLabel_,
                                                      brightnessLabel_,
                                                      colourLabel_,
                                                      saturationLabel_,
                                                      colourBezel_,
                                                      tfEditorMessage_,
                                                      tfManagerStatus_,
                                                      tfReport_,
                                                      tfActivity_};
    for (const auto& c : all)
        if (c.get() == &control) return c;
    for (const auto& day : days_)
        if (day.get() == &control) return day;
    return nullptr;
}

// ---- The list ----

std::vector<ScheduleWindow::Row> ScheduleWindow::rows() const {
    std::lock_guard lock(rowsMutex_);
    return rows_;
}

void ScheduleWindow::reloadData() {
    std::vector<Row> rows;
    rows.reserve(manager_.collection().size());
    for (const auto& item : manager_.collection())
        rows.push_back({item.get(), item->isEnabled(), item->getDescription(), item->objectForKey("name").textValue()});
    std::function<void()> observer;
    {
        std::lock_guard lock(rowsMutex_);
        if (rows == rows_) return;
        rows_ = std::move(rows);
        observer = rowsObserver_;
    }
    if (observer) observer();
}

std::optional<std::size_t> ScheduleWindow::indexOf(const void* key) const {
    if (!key) return std::nullopt;
    const auto& items = manager_.collection();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].get() == key) return i;
    return std::nullopt;
}

std::shared_ptr<Action> ScheduleWindow::itemWithKey(const void* key) const {
    auto index = indexOf(key);
    return index ? manager_.collection()[*index] : nullptr;
}

std::optional<std::size_t> ScheduleWindow::editedRow() const {
    return currentItem_ ? indexOf(currentItem_.get()) : std::nullopt;
}

std::string ScheduleWindow::problemText() const {
    std::string text;
    for (std::string line : manager_.problems()) {
        if (!line.empty()) line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
        text += (text.empty() ? "" : " ") + line + ".";
    }
    return text;
}

void ScheduleWindow::busy(const std::string& what, const std::function<void()>& work) {
    tfActivity_->setStringValue(what);
    if (progress_) progress_->startAnimation();
    work();
    if (progress_) progress_->stopAnimation();
    tfActivity_->setStringValue("");
}

void ScheduleWindow::tableViewSetObjectValueForTableColumnRow(const std::string& column, const void* key) {
    if (column == enabledColumn) {
        if (auto index = indexOf(key)) {
            const Action& item = *manager_.collection()[*index];
            const bool enable = !item.isEnabled();
            const std::string name = item.objectForKey("name").textValue();
            bool done = true;
            busy(enable ? "Registering \"" + name + "\" on the bridge…" : "Deleting \"" + name + "\" from the bridge…",
                 [&] { done = manager_.setActionEnabled(*index, enable); });
            if (!done) tfReport_->setStringValue(problemText());
        }
    }
    reloadData();
}

// ---- Commands ----

void ScheduleWindow::create() {
    if (scheduleWindow_) scheduleWindow_->makeKeyAndOrderFront();
    if (currentItem_) finish();
    currentItem_ = std::make_shared<Action>();
    newItem_ = true;
    setItem(*currentItem_);
    manager_.collection().push_back(currentItem_);
    if (editor_) editor_->makeKeyAndOrderFront();
}

void ScheduleWindow::edit(const void* key) {
    if (!itemWithKey(key)) return;
    if (currentItem_) finish();
    // Finishing may have dropped an empty new item; the row's item is still found by its key.
    currentItem_ = itemWithKey(key);
    newItem_ = false;
    if (!currentItem_) return;
    setItem(*currentItem_);
    if (editor_) editor_->makeKeyAndOrderFront();
}

void ScheduleWindow::closeEditor() {
    currentItem_.reset();
    newItem_ = false;
    tfEditorMessage_->setStringValue("");
    if (editor_) editor_->orderOut();
}

void ScheduleWindow::deleteItem(const void* key) {
    auto index = indexOf(key);
    if (!index) return;
    const std::string name = manager_.collection()[*index]->objectForKey("name").textValue();
    bool done = true;
    busy("Deleting \"" + name + "\" from the bridge…", [&] { done = manager_.deleteAction(*index); });
    if (!done) tfReport_->setStringValue(problemText());
    if (selected_ == key) selected_ = nullptr;
    closeEditor();
    reloadData();
}

platform::AlertSpec ScheduleWindow::deleteItemAlert(const std::string& name) {
    platform::AlertSpec alert;
    alert.message = "Delete the schedule item " + name + "?";
    alert.defaultButton = "Delete";
    alert.alternateButton = "Cancel";
    alert.informativeText = "Its schedules are deleted from the bridge as well.";
    alert.icon = platform::AlertIcon::Question;
    return alert;
}

void ScheduleWindow::askToDelete(const void* key) {
    auto item = itemWithKey(key);
    if (!item) return;
    if (!alerts_) return deleteItem(key);
    std::string name = item->objectForKey("name").textValue();
    if (name.empty()) name = "\"" + item->getDescription() + "\"";
    // The key is looked up again with the answer: the item may be gone by then.
    alerts_->ask(deleteItemAlert(name), [this, key](platform::AlertResponse answer) {
        if (answer == platform::AlertResponse::Default) deleteItem(key);
    });
}

void ScheduleWindow::deleteAllFromBridge() {
    // Asked without waiting: the work follows the answer, and a question
    // closed by quitting is never answered.
    if (!alerts_) return;
    alerts_->ask(ScheduleManager::deleteAllAlert(), [this](platform::AlertResponse answer) {
        if (answer == platform::AlertResponse::Default) deleteAllConfirmed();
    });
}

void ScheduleWindow::deleteAllConfirmed() {
    bool done = false;
    busy("Deleting every schedule on the bridge…", [&] { done = manager_.deleteAllFromBridge(true); });
    if (!done) {
        tfReport_->setStringValue("The bridge's schedules could not be read; nothing was deleted.");
        return;
    }
    const auto& refused = manager_.refusedSchedules();
    if (refused.empty()) {
        tfReport_->setStringValue("Every schedule on the bridge was deleted; every item is disabled.");
    } else {
        std::string ids;
        for (const auto& id : refused) ids += (ids.empty() ? "" : ", ") + id;
        tfReport_->setStringValue("The bridge did not delete " + std::to_string(refused.size()) + " schedule" +
                                  (refused.size() == 1 ? " (" : "s (") + ids +
                                  "); their items stay enabled, the others are disabled. " + problemText());
    }
    showForeignCount();
    closeEditor();
    reloadData();
}

void ScheduleWindow::importFromBridge() {
    const std::size_t before = manager_.collection().size();
    bool listRead = false;
    busy("Importing schedules from the bridge…", [&] { listRead = manager_.importFromBridge(); });
    const auto& items = manager_.collection();
    std::string report;
    if (items.size() == before) {
        report = !listRead ? "The bridge's schedules could not be read; nothing was imported."
                           : "Nothing to import: every schedule on the bridge belongs to an item.";
    } else {
        report =
            "Imported " + std::to_string(items.size() - before) + (items.size() - before == 1 ? " item:" : " items:");
        for (std::size_t i = before; i < items.size(); ++i) {
            std::string name = items[i]->objectForKey("name").textValue();
            report += (i == before ? " " : ", ") + (name.empty() ? items[i]->getDescription() : name);
        }
        report += ".";
    }
    tfReport_->setStringValue(report);
    showForeignCount();
    reloadData();
}

void ScheduleWindow::showForeignCount() {
    const std::size_t count = manager_.foreignScheduleCount();
    tfForeignSchedules_->setStringValue(count == 0   ? ""
                                        : count == 1 ? "1 schedule"
                                                     : std::to_string(count) + " schedules");
}

void ScheduleWindow::windowDidBecomeKey() {
    busy("Checking the bridge's schedules…", [&] { manager_.windowDidBecomeKey(); });
    showForeignCount();
    const auto& missing = manager_.itemsMissingOnBridge();
    const std::string& report = tfReport_->stringValue();
    if (missing.empty()) {
        // Keep what an import or delete-all said until something new is found;
        // an earlier "all is well" no longer holds once something is foreign.
        if (report.rfind("The bridge no longer holds", 0) == 0 ||
            (report == allMatchReport && manager_.foreignScheduleCount() != 0))
            tfReport_->setStringValue("");
        return;
    }
    std::string names;
    for (const auto& name : missing) names += (names.empty() ? "" : ", ") + name;
    tfReport_->setStringValue("The bridge no longer holds the schedules of: " + names + ".");
}

void ScheduleWindow::check() {
    windowDidBecomeKey();
    if (!manager_.lastCheckReadBridge())
        tfReport_->setStringValue("The bridge's schedules could not be read.");
    else if (manager_.itemsMissingOnBridge().empty())
        // The status line tells about schedules of other apps.
        tfReport_->setStringValue(manager_.foreignScheduleCount() ? "Every item's schedules are on the bridge."
                                                                  : allMatchReport);
}

// ---- The editor ----

void ScheduleWindow::setItem(Action& item) {
    tfEditorMessage_->setStringValue("");
    tfName_->setStringValue(item.objectForKey("name").textValue());
    tfOn_->setStringValue(item.objectForKey("ontime").textValue());
    tfOff_->setStringValue(item.objectForKey("offtime").textValue());
    btnLinkSunriseSunset_->setState(item.objectForKey("linksunrisesunset").boolValue() ? 1 : 0);
    handleControl(btnLinkSunriseSunset_.get());
    for (std::size_t i = 0; i < days_.size(); ++i)
        days_[i]->setState(item.objectForKey(dayKeys[i]).boolValue() ? 1 : 0);
    slBrightness_->setDoubleValue(item.objectForKey("brightness").doubleValue());
    slColour_->setDoubleValue(item.objectForKey("colour").doubleValue());
    slSaturation_->setDoubleValue(255 - item.objectForKey("saturation").doubleValue());
    btnVary_->setState(item.objectForKey("vary").boolValue() ? 1 : 0);
    btnColourBrightness_->setState(item.objectForKey("colourbrightness").boolValue() ? 1 : 0);
    btnAction_->selectItemWithTag(item.objectForKey("action").intValue());
    std::string lamp = item.objectForKey("lamp").textValue();
    if (!lamp.empty() && btnLamp_) {
        if (lamp == "group: all") {
            lamp = "group: All";
            item.setObjectForKey(lamp, "lamp");
        }
        btnLamp_->selectItemWithTitle(lamp);
    }
    actionWindowController_.handleControl(btnAction_.get());
    auto kind = btnAction_->selectedItem();
    if (!kind || kind->tag != Action::ColourBrightness)
        actionWindowController_.handleControl(btnColourBrightness_.get());
    shown_ = editorState();
}

Value ScheduleWindow::editorState() const {
    Value state = Value::map({{"name", tfName_->stringValue()},
                              {"on", tfOn_->stringValue()},
                              {"off", tfOff_->stringValue()},
                              {"link", btnLinkSunriseSunset_->state()},
                              {"brightness", slBrightness_->doubleValue()},
                              {"colour", slColour_->doubleValue()},
                              {"saturation", slSaturation_->doubleValue()},
                              {"vary", btnVary_->state()},
                              {"colourbrightness", btnColourBrightness_->state()}});
    for (std::size_t i = 0; i < days_.size(); ++i) state.set(dayKeys[i], days_[i]->state());
    auto kind = btnAction_->selectedItem();
    state.set("action", kind ? kind->tag : -1);
    auto lamp = btnLamp_ ? btnLamp_->selectedItem() : std::nullopt;
    state.set("lamp", lamp ? lamp->title : std::string());
    return state;
}

void ScheduleWindow::finish() {
    if (!currentItem_) return;
    // Closing the editor lets go of the item; it is kept alive to the end.
    std::shared_ptr<Action> keep = currentItem_;
    Action& item = *keep;
    const bool noSchedules = item.scheduleIDs().empty();
    const Value before = shown_;
    if (!newItem_ && item.isEnabled() && !noSchedules && editorState() == before) {
        // Nothing changed: the bridge keeps the item's schedules exactly as
        // they are (an imported one keeps its own command).
        closeEditor();
        return;
    }
    if (tfOn_->stringValue() == "00:00" && tfOff_->stringValue() == "00:00" && noSchedules &&
        btnLinkSunriseSunset_->state() == 1) {
        if (defaults_.hasObject(ScheduleManager::sunriseKey))
            tfOff_->setStringValue(defaults_.stringForKey(ScheduleManager::sunriseKey));
        if (defaults_.hasObject(ScheduleManager::sunsetKey))
            tfOn_->setStringValue(defaults_.stringForKey(ScheduleManager::sunsetKey));
    }
    if (tfOn_->stringValue() == "00:00" && tfOff_->stringValue() == "00:00" && noSchedules && newItem_) {
        // A new item closed without times is dropped; a stored one is kept.
        auto& items = manager_.collection();
        items.erase(std::remove(items.begin(), items.end(), keep), items.end());
        closeEditor();
        reloadData();
        return;
    }
    item.setObjectForKey(tfOn_->stringValue(), "ontime");
    item.setObjectForKey(tfOff_->stringValue(), "offtime");
    item.setObjectForKey(btnLinkSunriseSunset_->state() == 1, "linksunrisesunset");
    item.setObjectForKey(tfName_->stringValue(), "name");
    platform::log("name is " + tfName_->stringValue());
    // A colour value the item never had (an imported schedule that sets
    // brightness only) is not invented from a slider left where it was.
    const std::pair<const char*, double> colours[] = {{"brightness", slBrightness_->doubleValue()},
                                                      {"colour", slColour_->doubleValue()},
                                                      {"saturation", 255 - slSaturation_->doubleValue()}};
    for (const auto& [key, value] : colours) {
        const bool moved = editorState()[key] != before[key];
        if (moved || newItem_ || item.getDictionary().contains(key)) item.setObjectForKey(value, key);
    }
    auto kind = btnAction_->selectedItem();
    item.setObjectForKey(kind ? kind->tag : 0, "action");
    for (std::size_t i = 0; i < days_.size(); ++i) item.setObjectForKey(days_[i]->state() == 1, dayKeys[i]);
    item.setObjectForKey(btnVary_->state() == 1, "vary");
    item.setObjectForKey(btnColourBrightness_->state() == 1, "colourbrightness");
    item.setObjectForKey(true, "enabled");
    if (btnLamp_) {
        if (auto lamp = btnLamp_->selectedItem()) {
            const bool group = lamp->title.compare(0, 5, "group") == 0;
            item.setObjectForKey(lamp->title, "lamp");
            item.setObjectForKey(group, "group");
            std::function<std::optional<std::string>(int, bool)> identifyLamp;
            {
                std::lock_guard lock(hooksMutex_);
                identifyLamp = identifyLamp_;
            }
            if (identifyLamp) {
                if (auto id = identifyLamp(lamp->tag, group))
                    item.setObjectForKey(*id, "lampid");
                else
                    item.getDictionary().erase("lampid");
            }
        }
    }
    closeEditor();
    const std::string name = item.objectForKey("name").textValue();
    bool done = true;
    busy("Registering \"" + name + "\" on the bridge…",
         [&] { done = manager_.breakDownAndRegisterNewActionWithHub(item); });
    reloadData();
    if (!done) tfReport_->setStringValue(problemText());
    manager_.saveActions();
    manager_.constructList();
}

std::string ScheduleWindow::timeAround(const std::string& hhmm, int seconds) const {
    auto minutes = ScheduleManager::stringToNumber(hhmm);
    if (!minutes || !isTimeText(hhmm)) return {};
    const auto& zone = manager_.timeZone();
    auto today = chr::floor<chr::days>(zone.toLocal(chr::floor<chr::seconds>(bridge_.clock().now())));
    auto instant = zone.toSys(chr::local_seconds(today) + chr::minutes(*minutes)) + chr::seconds(seconds);
    auto local = zone.toLocal(instant);
    auto m = chr::duration_cast<chr::minutes>(local - chr::floor<chr::days>(local)).count();
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(m / 60), static_cast<int>(m % 60));
    return text;
}

void ScheduleWindow::handleControl(platform::Control* sender) {
    if (sender != btnLinkSunriseSunset_.get()) return;
    if (btnLinkSunriseSunset_->state() == 1) {
        std::function<void()> startLocation;
        {
            std::lock_guard lock(hooksMutex_);
            startLocation = startLocation_;
        }
        if (startLocation) startLocation();
        manager_.fetchSunriseSunetTimes();
        tfOn_->setEnabled(false);
        tfOff_->setEnabled(false);
        // The times registered are an hour inside the dark: off an hour
        // after sunrise, on an hour before sunset. Beside each, say so.
        std::string sunrise, sunset;
        if (defaults_.hasObject(ScheduleManager::sunriseKey)) {
            sunrise = defaults_.stringForKey(ScheduleManager::sunriseKey);
            auto off = timeAround(sunrise, 3600);
            if (!off.empty()) tfOff_->setStringValue(off);
            if (off.empty()) sunrise.clear();
        }
        if (defaults_.hasObject(ScheduleManager::sunsetKey)) {
            sunset = defaults_.stringForKey(ScheduleManager::sunsetKey);
            auto on = timeAround(sunset, -3600);
            if (!on.empty()) tfOn_->setStringValue(on);
            if (on.empty()) sunset.clear();
        }
        offTimeHelpLabel_->setStringValue(sunrise.empty() ? "an hour after sunrise (not known yet)"
                                                          : "an hour after today's sunrise (" + sunrise + ")");
        onTimeHelpLabel_->setStringValue(sunset.empty() ? "an hour before sunset (not known yet)"
                                                        : "an hour before today's sunset (" + sunset + ")");
    } else {
        tfOn_->setEnabled(true);
        tfOff_->setEnabled(true);
        onTimeHelpLabel_->setStringValue(timeHelp);
        offTimeHelpLabel_->setStringValue(timeHelp);
    }
}

bool ScheduleWindow::popoverShouldClose() {
    for (platform::TextField* field : {tfOn_.get(), tfOff_.get()}) {
        if (field->isHidden() || ScheduleManager::validateTime(field)) continue;
        if (alerts_) alerts_->beep();
        tfEditorMessage_->setStringValue("\"" + field->stringValue() +
                                         "\" is not a time of day: use HH:MM, 00:00 to 23:59.");
        return false;
    }
    finish();
    return true;
}

}  // namespace glowmere
