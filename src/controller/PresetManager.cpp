#include "controller/PresetManager.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "controller/PresetRecords.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

PresetManager::PresetManager(platform::DefaultsStore& defaults, LoopHandoff handoff, Lamps lamps)
    : defaults_(defaults), handoff_(std::move(handoff)), lamps_(std::move(lamps)) {
    // The bus may ask for the names before the controller thread has built
    // its menus (start-up waits on the bridge): the stored list answers then.
    knownPresetNames_ = presets::names(presets::storedList(defaults_));
    // A list another process (glowmerectl) stored shows in the menus and
    // the table once the store notices it.
    presetsObserver_ = defaults_.addChangeObserver([this](const std::set<std::string>& keys) {
        if (!keys.count(presetsKey)) return;
        if (loop().isLoopThread() || !loop().isRunning())
            presetsChangedElsewhere();
        else
            handoff_.post([this] { presetsChangedElsewhere(); });
    });
}

PresetManager::~PresetManager() {
    stopWatchingStore();
}

void PresetManager::stopWatchingStore() {
    if (presetsObserver_) defaults_.removeChangeObserver(presetsObserver_);
    presetsObserver_ = 0;
}

Value PresetManager::getPresetList(bool reload) {
    if (!reload && presetCollection_) return *presetCollection_;
    presetCollection_ = presets::storedList(defaults_);
    {
        std::lock_guard lock(knownPresetNamesMutex_);
        knownPresetNames_ = presets::names(*presetCollection_);
    }
    return *presetCollection_;
}

std::string PresetManager::getUniqueID() const {
    return presets::uniqueID(loop().clock().now(), platform::TimeZone::local());
}

void PresetManager::setPresetManagementTable(platform::TableView* table) {
    presetManagementTable_ = table;
    if (table) table->setDataSource(this);
}

Value PresetManager::snapshot() const {
    return presets::makePreset(getUniqueID(), presetNameEditingField_.stringValue(), lamps_.records());
}

void PresetManager::presetListChanged() {
    lamps_.listChanged();
    getPresetList(true);
    if (presetManagementTable_) presetManagementTable_->reloadData();
}

void PresetManager::changePresetList(const std::function<void(Value& list)>& change) {
    if (!presets::updateList(defaults_, change)) platform::log("the presets could not be saved");
    presetListChanged();
}

void PresetManager::presetsChangedElsewhere() {
    presetListChanged();
}

void PresetManager::savePresetStep1() {
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

void PresetManager::presetStep1PanelOK() {
    if (presetOption1Panel_) presetOption1Panel_->orderOut();
    updatePreset();
}

void PresetManager::savePresetStep1CreateNew() {
    if (presetOption1Panel_) presetOption1Panel_->orderOut();
    showPresetNamingPanel();
}

void PresetManager::showPresetNamingPanel() {
    presetNameEditingField_.setStringValue("");
    if (presetNamingPanel_) presetNamingPanel_->makeKeyAndOrderFront();
}

void PresetManager::presetNamingPanelOK() {
    if (presetNamingPanel_) presetNamingPanel_->orderOut();
    savePreset();
}

void PresetManager::presetNamingPanelCancel() {
    if (presetNamingPanel_) presetNamingPanel_->orderOut();
}

void PresetManager::savePreset() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop(), "PresetManager::savePreset");
    Value preset = presets::makePreset(getUniqueID(), presetNameEditingField_.stringValue(), lamps_.records());
    changePresetList([&](Value& list) { list.append(std::move(preset)); });
}

void PresetManager::updatePreset() {
    Value strips = lamps_.records();
    changePresetList([&](Value& list) {
        // Deleted meanwhile (by another process): nothing to update.
        if (lastSelectedPreset_ < 0 || static_cast<std::size_t>(lastSelectedPreset_) >= list.size()) return;
        Value& preset = list.asList()[static_cast<std::size_t>(lastSelectedPreset_)];
        if (!preset.isMap()) return;
        preset.set(presets::stripsKey, std::move(strips));
    });
}

void PresetManager::implementPreset(int index) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop(), "PresetManager::implementPreset");
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
            LampControlStrip* strip = lamps_.find(presets::stripIdentifier(record));
            if (!strip) continue;
            Value copy = record;
            copy.erase(LampControlStrip::labelKey);
            copy.set(LampControlStrip::transitionKey, transition);
            strip->implementSettingsFromDictionaryWithTransitionTime(copy);
        }
    }
    lamps_.changedByCommand();
    lastSelectedPreset_ = index;
}

std::vector<std::string> PresetManager::presetNames() {
    return presets::names(getPresetList(true));
}

std::vector<std::string> PresetManager::lastKnownPresetNames() const {
    std::lock_guard lock(knownPresetNamesMutex_);
    return knownPresetNames_;
}

bool PresetManager::implementPresetNamed(const std::string& name) {
    auto index = presets::indexOfName(getPresetList(true), name);
    if (!index) return false;
    implementPreset(static_cast<int>(*index));
    return true;
}

void PresetManager::showPresetManagementPanel() {
    if (presetManagementTable_) presetManagementTable_->reloadData();
    if (presetManagementPanel_) presetManagementPanel_->makeKeyAndOrderFront();
}

void PresetManager::renamePreset() {
    if (!presetManagementTable_) return;
    int row = presetManagementTable_->selectedRow();
    if (row < 0) return;
    presetManagementTable_->editColumnRowWithEventSelect(0, row, true);
}

void PresetManager::deletePreset() {
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

int PresetManager::numberOfRowsInTableView(platform::TableView*) {
    return static_cast<int>(getPresetList(true).size());
}

std::string PresetManager::tableViewObjectValueForTableColumnRow(platform::TableView*, const std::string& column,
                                                                 int row) {
    Value list = getPresetList(false);
    if (row < 0 || static_cast<std::size_t>(row) >= list.size()) return "";
    const Value& preset = list.at(static_cast<std::size_t>(row));
    if (column == nameColumn) return preset[presets::nameKey].textValue();
    if (column == transitionColumn) return presets::transitionText(preset);
    return "";
}

void PresetManager::tableViewSetObjectValueForTableColumnRow(platform::TableView* table, const std::string& value,
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
