#include "controller/PresetManager.h"

#include <gtest/gtest.h>

#include "controller/PresetRecords.h"
#include "platform/Clock.h"
#include "support/TempDir.h"

namespace glowmere {
namespace {

// The management table: the row the user edits is the selected one.
class Table final : public platform::TableView {
public:
    void setDataSource(platform::TableViewDataSource* source) override { source_ = source; }
    void reloadData() override {}
    int selectedRow() const override { return selected; }
    void editColumnRowWithEventSelect(int, int, bool) override {}
    void edit(const std::string& column, const std::string& text) {
        source_->tableViewSetObjectValueForTableColumnRow(this, text, column, selected);
    }
    int selected = -1;

private:
    platform::TableViewDataSource* source_ = nullptr;
};

// No loop runs: the presets' work runs inline, as on the controller thread.
struct Presets {
    explicit Presets(platform::DefaultsStore& store) : defaults(store) { presets.setPresetManagementTable(&table); }

    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    platform::DefaultsStore& defaults;
    int menuFills = 0;
    Table table;
    PresetManager presets{defaults, LoopHandoff(loop, std::make_shared<int>(0)),
                          PresetManager::Lamps{.records = [] { return Value::emptyList(); },
                                               .find = [](const std::string&) { return nullptr; },
                                               .changedByCommand = [] {},
                                               .listChanged = [this] { ++menuFills; }}};

    void save(const std::string& name) {
        presets.presetNameEditingField().setStringValue(name);
        presets.savePreset();
    }
};

TEST(PresetManagerTest, RenamesInTheTableKeepNamesUnique) {
    struct Case {
        const char* what;
        const char* typed;
        std::vector<std::string> names;
    } cases[] = {
        {"a new name", "Dinner", {"Evening", "Dinner"}},
        {"trimmed", "  Dinner ", {"Evening", "Dinner"}},
        {"another preset's name: refused", "Evening", {"Evening", "Reading"}},
        {"empty: refused", "  ", {"Evening", "Reading"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::DefaultsStore defaults;
        Presets p{defaults};
        p.save("Evening");
        p.save("Reading");
        p.table.selected = 1;
        p.table.edit(PresetManager::nameColumn, c.typed);
        EXPECT_EQ(p.presets.presetNames(), c.names);
        EXPECT_EQ(p.presets.lastKnownPresetNames(), c.names);
    }
}

TEST(PresetManagerTest, AListStoredElsewhereReachesTheMenusAndTheBus) {
    testing::TempDir dir;
    platform::DefaultsStore ours(dir.path());
    Presets p{ours};
    Value list = Value::emptyList();
    list.append(presets::makePreset("1", "Morning", Value::emptyList()));
    platform::DefaultsStore elsewhere(dir.path());
    elsewhere.setObject(PresetManager::presetsKey, list);
    ASSERT_TRUE(elsewhere.synchronize());

    ours.checkForChanges();
    EXPECT_EQ(p.menuFills, 1);
    EXPECT_EQ(p.presets.lastKnownPresetNames(), std::vector<std::string>{"Morning"});
}

}  // namespace
}  // namespace glowmere
