// The main controller's presets: saving, applying, renaming and deleting
// them, and the management table.
#include <algorithm>
#include <cstdio>

#include "controller/ManualController.h"
#include "controller/PresetRecords.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

namespace {
constexpr const char* nameColumn = "name";
constexpr const char* transitionColumn = "transition";
}  // namespace

Value ManualController::getPresetList(bool reload) {
    if (!reload && presetCollection_) return *presetCollection_;
    presetCollection_ = presets::storedList(defaults_);
    return *presetCollection_;
}

std::string ManualController::getUniqueID() const {
    return presets::uniqueID(loop_.clock().now(), platform::TimeZone::local());
}

void ManualController::setPresetManagementTable(platform::TableView* table) {
    presetManagementTable_ = table;
    if (table) table->setDataSource(this);
}

Value ManualController::lampStripRecords() const {
    Value strips = Value::emptyList();
    for (const auto& strip : collection_)
        if (!strip->isGroup()) strips.append(strip->getDictionary());
    return strips;
}

void ManualController::presetListChanged() {
    populatePresetPullDown();
    getPresetList(true);
    if (presetManagementTable_) presetManagementTable_->reloadData();
}

void ManualController::changePresetList(const std::function<void(Value& list)>& change) {
    if (!presets::updateList(defaults_, change)) platform::log("the presets could not be saved");
    presetListChanged();
}

void ManualController::presetsChangedElsewhere() {
    presetListChanged();
}

void ManualController::savePresetStep1() {
    Value list = getPresetList(true);
    if (lastSelectedPreset_ >= 0 && static_cast<std::size_t>(lastSelectedPreset_) < list.size()) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "Would you like to apply these changes to the last selected preset: '%s' - or create a new one?",
                      list.at(static_cast<std::size_t>(lastSelectedPreset_))[presets::nameKey].textValue().c_str());
        presetOption1Text_.setStringValue(text);
        if (presetOption1Panel_) presetOption1Panel_->makeKeyAndOrderFront();
        return;
    }
    showPresetNamingPanel();
}

void ManualController::presetStep1PanelOK() {
    if (presetOption1Panel_) presetOption1Panel_->orderOut();
    updatePreset();
}

void ManualController::savePresetStep1CreateNew() {
    if (presetOption1Panel_) presetOption1Panel_->orderOut();
    showPresetNamingPanel();
}

void ManualController::showPresetNamingPanel() {
    presetNameEditingField_.setStringValue("");
    if (presetNamingPanel_) presetNamingPanel_->makeKeyAndOrderFront();
}

void ManualController::presetNamingPanelOK() {
    if (presetNamingPanel_) presetNamingPanel_->orderOut();
    savePreset();
}

void ManualController::presetNamingPanelCancel() {
    if (presetNamingPanel_) presetNamingPanel_->orderOut();
}

void ManualController::savePreset() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::savePreset");
    Value preset = presets::makePreset(getUniqueID(), presetNameEditingField_.stringValue(), lampStripRecords());
    changePresetList([&](Value& list) { list.append(std::move(preset)); });
}

void ManualController::updatePreset() {
    Value strips = lampStripRecords();
    changePresetList([&](Value& list) {
        // Deleted meanwhile (by another process): nothing to update.
        if (lastSelectedPreset_ < 0 || static_cast<std::size_t>(lastSelectedPreset_) >= list.size()) return;
        Value& preset = list.asList()[static_cast<std::size_t>(lastSelectedPreset_)];
        if (!preset.isMap()) return;
        preset.set(presets::stripsKey, std::move(strips));
    });
}

void ManualController::implementPreset(int index) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::implementPreset");
    Value list = getPresetList(false);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return;
    const Value& preset = list.at(static_cast<std::size_t>(index));
    const double transition = presets::transitionFor(preset, defaults_);
    const Value& strips = preset[presets::stripsKey];
    if (strips.isList()) {
        // One timed request per lamp, in the preset's order; the bridge
        // client paces them.
        for (const Value& record : strips.asList()) {
            if (!record.isMap()) continue;
            LampControlStrip* strip = getStripWithID(presets::stripIdentifier(record));
            if (!strip) continue;
            Value copy = record;
            copy.erase(LampControlStrip::labelKey);
            copy.set(LampControlStrip::transitionKey, transition);
            strip->implementSettingsFromDictionaryWithTransitionTime(copy);
        }
    }
    stripDidChange();
    lastSelectedPreset_ = index;
}

std::vector<std::string> ManualController::presetNames() {
    return presets::names(getPresetList(true));
}

std::vector<std::string> ManualController::lastKnownPresetNames() const {
    std::lock_guard lock(knownPresetNamesMutex_);
    return knownPresetNames_;
}

bool ManualController::implementPresetNamed(const std::string& name) {
    auto index = presets::indexOfName(getPresetList(true), name);
    if (!index) return false;
    implementPreset(static_cast<int>(*index));
    return true;
}

void ManualController::showPresetManagementPanel() {
    if (presetManagementTable_) presetManagementTable_->reloadData();
    if (presetManagementPanel_) presetManagementPanel_->makeKeyAndOrderFront();
}

void ManualController::renamePreset() {
    if (!presetManagementTable_) return;
    int row = presetManagementTable_->selectedRow();
    if (row < 0) return;
    presetManagementTable_->editColumnRowWithEventSelect(0, row, true);
}

void ManualController::deletePreset() {
    if (!presetManagementTable_) return;
    int row = presetManagementTable_->selectedRow();
    if (row < 0) return;
    Value cached = getPresetList(false);
    if (static_cast<std::size_t>(row) >= cached.size()) return;
    const std::string name = cached.at(static_cast<std::size_t>(row))[presets::nameKey].textValue();
    platform::AlertSpec alert;
    alert.message = "Delete the preset " + name + "?";
    alert.defaultButton = "Delete";
    alert.alternateButton = "Cancel";
    alert.icon = platform::AlertIcon::Question;
    alert.informativeText = "The preset is removed from this computer; the lamps stay as they are.";
    if (!alerts_) return;
    alerts_->ask(alert, [this, row, name, alive = std::weak_ptr<void>(lifetime_)](platform::AlertResponse answer) {
        if (answer != platform::AlertResponse::Default || alive.expired()) return;
        // The list may have changed while the question was open: the preset
        // asked about goes, or none.
        changePresetList([&](Value& list) {
            const auto at = static_cast<std::size_t>(row);
            if (at < list.size() && list.at(at)[presets::nameKey].textValue() == name)
                list.asList().erase(list.asList().begin() + row);
        });
    });
}

int ManualController::numberOfRowsInTableView(platform::TableView*) {
    return static_cast<int>(getPresetList(true).size());
}

std::string ManualController::tableViewObjectValueForTableColumnRow(platform::TableView*, const std::string& column,
                                                                    int row) {
    Value list = getPresetList(false);
    if (row < 0 || static_cast<std::size_t>(row) >= list.size()) return "";
    const Value& preset = list.at(static_cast<std::size_t>(row));
    if (column == nameColumn) return preset[presets::nameKey].textValue();
    if (column == transitionColumn) return presets::transitionText(preset);
    return "";
}

void ManualController::tableViewSetObjectValueForTableColumnRow(platform::TableView* table, const std::string& value,
                                                                const std::string& column, int) {
    // The edit applies to the row being edited, which is the selected one.
    int row = table ? table->selectedRow() : -1;
    if (row < 0) return;
    // A refused name keeps the old one; the reload that follows every change
    // shows it again in the table.
    changePresetList([&](Value& list) {
        if (static_cast<std::size_t>(row) >= list.size()) return;
        Value& preset = list.asList()[static_cast<std::size_t>(row)];
        if (!preset.isMap()) return;
        if (column == nameColumn) {
            std::vector<std::string> others = presets::names(list);
            others.erase(others.begin() + row);
            if (auto name = presets::checkedName(value, others)) preset.set(presets::nameKey, *name);
        }
        if (column == transitionColumn)
            preset.set(presets::transitionKey,
                       std::clamp(static_cast<double>(leadingReal(value)), 0.0, presets::maximumTransition));
    });
}

}  // namespace glowmere
