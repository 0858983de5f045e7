#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controller/LoopHandoff.h"
#include "controls/LampControlStrip.h"
#include "platform/DefaultsStore.h"
#include "platform/TableView.h"
#include "platform/Ui.h"

namespace glowmere {

// The user's presets: saving the lamps as a new preset or over the last one
// applied, naming, renaming, deleting and applying them, the management
// table, and the names as the menus last showed them. The stored list is the
// truth; this keeps a cache of it, read again whenever it may have changed
// (another process may store it too). Runs on the controller thread, except
// `lastKnownPresetNames`, which answers on any thread.
class PresetManager final : public platform::TableViewDataSource {
public:
    static constexpr const char* presetsKey = "presets";
    static constexpr const char* nameColumn = "name";
    static constexpr const char* transitionColumn = "transition";

    // What the presets ask of the controller, on its thread.
    struct Lamps {
        // Every lamp strip's record, in collection order.
        std::function<Value()> records;
        std::function<LampControlStrip*(const std::string& id)> find;
        // The lamps were changed by command (a preset applied).
        std::function<void()> changedByCommand;
        // The list changed: the menus that show it are filled again.
        std::function<void()> listChanged;
    };

    PresetManager(platform::DefaultsStore& defaults, LoopHandoff handoff, Lamps lamps);
    ~PresetManager() override;
    PresetManager(const PresetManager&) = delete;
    PresetManager& operator=(const PresetManager&) = delete;

    // The panels the preset commands show; any may be left unset.
    void setAlerts(platform::Alerts* alerts) { alerts_ = alerts; }
    void setPresetOption1Panel(platform::Window* panel) { presetOption1Panel_ = panel; }
    void setPresetNamingPanel(platform::Window* panel) { presetNamingPanel_ = panel; }
    void setPresetManagementPanel(platform::Window* panel) { presetManagementPanel_ = panel; }
    void setPresetManagementTable(platform::TableView* table);
    platform::Menu& presetPullDown() { return presetPullDown_; }
    platform::TextField& presetOption1Text() { return presetOption1Text_; }
    platform::TextField& presetNameEditingField() { return presetNameEditingField_; }

    // The stored list: the cache unless `reload` (or nothing cached yet).
    Value getPresetList(bool reload);
    std::string getUniqueID() const;
    // A preset of the lamps as they are now, named as the naming field says.
    Value snapshot() const;

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
    void forgetLastSelectedPreset() { lastSelectedPreset_ = -1; }
    std::vector<std::string> presetNames();
    bool implementPresetNamed(const std::string& name);
    std::vector<std::string> lastKnownPresetNames() const;
    // Another process changed the stored list: menus and table show it.
    void presetsChangedElsewhere();
    // Stops following the store (the controller is going).
    void stopWatchingStore();

private:
    // Reads, changes and stores the whole list, then refreshes what shows it.
    void changePresetList(const std::function<void(Value& list)>& change);
    void presetListChanged();
    platform::RunLoop& loop() const { return handoff_.loop(); }

    platform::DefaultsStore& defaults_;
    LoopHandoff handoff_;
    Lamps lamps_;
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
    mutable std::mutex knownPresetNamesMutex_;
    std::vector<std::string> knownPresetNames_;
    // Answers to a question asked find the presets gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace glowmere
