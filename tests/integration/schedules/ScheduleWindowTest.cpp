// The schedule window's logic (list, editor, import) against the simulated
// bridge; the window itself is driven in the GUI tests.
#include <gtest/gtest.h>

#include "integration/schedules/SimScheduleFixture.h"
#include "schedules/ScheduleWindow.h"
#include "support/FakeUi.h"

namespace glowmere {
namespace {

using nlohmann::json;
using testing::SimScheduleFixture;

struct ScheduleWindowTest : ::testing::Test, SimScheduleFixture {
    ScheduleWindowTest() {
        lamps.addItem("lamp: Hall", 1);
        lamps.addItem("group: Downstairs", 1001);
        lamps.addItem("group: All", 1000);
        window.setLampsPopUp(&lamps);
        window.setAlerts(&alerts);
        window.setLampIdentifier([](int tag, bool group) -> std::optional<std::string> {
            if (group) return std::to_string(tag - 1000);
            return std::to_string(tag);
        });
        window.setLocationStarter([this] { ++locationStarts; });
        manager.awakeFromNib();
        at("UTC", 2026, 12, 9, 12, 0);
        sim.clearRequestLog();
    }
    std::vector<std::string> hiddenControls() {
        std::vector<std::string> hidden;
        const std::pair<const char*, platform::Control*> controls[] = {
            {"on", &window.tfOn()},          {"off", &window.tfOff()},
            {"lamp", window.btnLamp()},      {"colourbrightness", &window.btnColourBrightness()},
            {"sliders", &window.slColour()}, {"vary", &window.btnVary()}};
        for (const auto& [name, control] : controls)
            if (control->isHidden()) hidden.push_back(name);
        return hidden;
    }

    platform::PopUpButton lamps;
    testing::FakeAlerts alerts;
    int locationStarts = 0;
    ScheduleWindow window{manager, bridge, defaults};
};

TEST_F(ScheduleWindowTest, TheEditorWritesBackWhatItWasGiven) {
    Action stored(Value::map({{"name", "Evening"},
                              {"ontime", "18:30"},
                              {"offtime", "23:15"},
                              {"action", 0},
                              {"lamp", "group: all"},
                              {"mon", true},
                              {"sat", true},
                              {"brightness", 200.0},
                              {"colour", 4000.0},
                              {"saturation", 30.0},
                              {"colourbrightness", true},
                              {"vary", false},
                              {"enabled", false}}));
    manager.collection().push_back(std::make_shared<Action>(stored));
    window.reloadData();
    const void* key = window.rows().at(0).key;
    window.edit(key);
    EXPECT_EQ(window.slSaturation().doubleValue(), 225);  // shown inverted
    EXPECT_EQ(window.btnLamp()->selectedItem()->title, "group: All");
    EXPECT_EQ(window.btnDay(0).state(), 1);
    EXPECT_EQ(window.btnDay(1).state(), 0);
    window.tfName().setStringValue("Late evening");
    ASSERT_TRUE(window.popoverShouldClose());

    const Value& d = manager.collection().at(0)->getDictionary();
    EXPECT_EQ(d["name"], Value("Late evening"));
    EXPECT_EQ(d["saturation"].doubleValue(), 30);
    EXPECT_EQ(d["lamp"], Value("group: All"));
    EXPECT_EQ(d["group"], Value(true));
    EXPECT_EQ(d["lampid"], Value("0"));
    EXPECT_EQ(d["enabled"], Value(true));
    EXPECT_EQ(d["sat"], Value(true));
    EXPECT_EQ(d["tue"], Value(false));
    // On, off and colour, to the bridge's group of all lamps.
    auto posted = postedSchedules();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0]["command"]["address"], "/api/" + sim.user() + "/groups/0/action");
    EXPECT_EQ(posted[2]["command"]["body"], json::parse(R"({"bri":200,"hue":4000,"sat":30})"));
    EXPECT_FALSE(window.isEditing());
    EXPECT_EQ(defaults.objectForKey(ScheduleManager::actionsKey).size(), 1u);  // stored
}

TEST_F(ScheduleWindowTest, EachKindShowsItsOwnControls) {
    const std::pair<int, std::vector<std::string>> cases[] = {
        {0, {"sliders"}},  // until the colour box is ticked
        {1, {"off", "sliders"}},
        {2, {"on", "colourbrightness", "sliders"}},
        {3, {"off", "colourbrightness"}},
        {4, {"lamp", "colourbrightness", "sliders", "vary"}},
        {5, {"off", "colourbrightness", "sliders"}},
        {6, {"on", "colourbrightness", "sliders"}},
    };
    window.create();
    for (const auto& [kind, hidden] : cases) {
        SCOPED_TRACE(kind);
        window.btnAction().selectItemWithTag(kind);
        window.btnAction().sendAction();
        EXPECT_EQ(hiddenControls(), hidden);
    }
    // The colour controls follow the check box where it is offered; a
    // kind-2 item stored with colour keeps them hidden with the box.
    window.btnAction().selectItemWithTag(0);
    window.btnAction().sendAction();
    window.btnColourBrightness().setState(1);
    window.btnColourBrightness().sendAction();
    EXPECT_FALSE(window.slColour().isHidden());
    auto off = std::make_shared<Action>(Value::map({{"action", 2}, {"offtime", "23:00"}, {"colourbrightness", true}}));
    manager.collection().push_back(off);
    window.reloadData();
    window.edit(off.get());
    EXPECT_TRUE(window.slColour().isHidden());
    EXPECT_TRUE(window.btnColourBrightness().isHidden());
}

TEST_F(ScheduleWindowTest, ClosingTheEditorChecksOnlyTheTimesItShows) {
    window.create();
    window.tfName().setStringValue("Bad");
    window.tfOn().setStringValue("25:00");
    window.tfOff().setStringValue("07:00");
    EXPECT_FALSE(window.popoverShouldClose());
    EXPECT_EQ(alerts.beepCount(), 1);
    EXPECT_TRUE(window.isEditing());
    EXPECT_FALSE(window.tfEditorMessage().stringValue().empty());
    EXPECT_TRUE(postedSchedules().empty());

    // Kind 2 hides the on time: its bad text no longer holds the editor open.
    window.btnAction().selectItemWithTag(Action::Off);
    window.btnAction().sendAction();
    window.tfOff().setStringValue("0730");
    EXPECT_TRUE(window.popoverShouldClose());
    ASSERT_EQ(postedSchedules().size(), 1u);
    EXPECT_EQ(postedSchedules()[0]["time"], "W127/T07:30:00");
    EXPECT_EQ(manager.collection().back()->objectForKey("offtime"), Value("07:30"));
}

TEST_F(ScheduleWindowTest, ANewItemWithoutTimesIsDroppedAndAStoredOneKept) {
    window.create();
    EXPECT_TRUE(window.popoverShouldClose());
    EXPECT_TRUE(manager.collection().empty());
    EXPECT_TRUE(window.rows().empty());

    manager.collection().push_back(std::make_shared<Action>(
        Value::map({{"name", "Listen"}, {"action", 4}, {"ontime", "00:00"}, {"offtime", "00:00"}})));
    window.reloadData();
    window.edit(window.rows().at(0).key);
    EXPECT_TRUE(window.popoverShouldClose());
    EXPECT_EQ(manager.collection().size(), 1u);
    EXPECT_TRUE(postedSchedules().empty());  // listening lives on the local clock
}

TEST_F(ScheduleWindowTest, LinkingToTheSunTakesTheTimesAroundStoredSunriseAndSunset) {
    defaults.setObject(ScheduleManager::sunriseKey, "06:10");
    defaults.setObject(ScheduleManager::sunsetKey, "19:40");
    defaults.setObject(ScheduleManager::dailyChecksKey, Value(std::chrono::floor<std::chrono::seconds>(clock.now())));
    window.create();
    window.btnLinkSunriseSunset().setState(1);
    window.btnLinkSunriseSunset().sendAction();
    EXPECT_EQ(locationStarts, 1);
    EXPECT_EQ(window.tfOff().stringValue(), "07:10");
    EXPECT_EQ(window.tfOn().stringValue(), "18:40");
    EXPECT_FALSE(window.tfOn().isEnabled());
    // Beside each time, why it is not the sun's own.
    EXPECT_EQ(window.offTimeHelpLabel().stringValue(), "an hour after today's sunrise (06:10)");
    EXPECT_EQ(window.onTimeHelpLabel().stringValue(), "an hour before today's sunset (19:40)");
    EXPECT_TRUE(window.popoverShouldClose());
    EXPECT_EQ(postedSchedules().size(), 2u);
    EXPECT_TRUE(manager.requiresLocationManager());
}

TEST_F(ScheduleWindowTest, ImportAndTheStatusLineSayWhatTheyFound) {
    sim.userRequest("POST", "schedules",
                    R"({"name":"Wake","time":"W124/T05:30:00","command":{"method":"PUT",)"
                    R"("address":"/api/testuser/lights/1/state","body":{"on":true}}})");
    window.windowDidBecomeKey();
    EXPECT_EQ(window.tfManagerStatus().stringValue(), ScheduleManager::otherAppStatus);
    window.importFromBridge();
    EXPECT_EQ(window.tfReport().stringValue(), "Imported 1 item: Wake.");
    ASSERT_EQ(window.rows().size(), 1u);
    EXPECT_EQ(window.rows()[0].name, "Wake");
    EXPECT_TRUE(window.rows()[0].enabled);
    EXPECT_EQ(window.tfManagerStatus().stringValue(), "");

    // Delete-all forgets the item in the editor.
    testing::FakeWindow editor;
    window.setEditorWindow(&editor);
    window.edit(window.rows()[0].key);
    window.deleteAllFromBridge();
    EXPECT_FALSE(window.isEditing());
    EXPECT_EQ(editor.calls(), (std::vector<std::string>{"front", "out"}));
    EXPECT_FALSE(window.rows()[0].enabled);
    EXPECT_TRUE(bridgeSchedules().empty());
    window.tableViewSetObjectValueForTableColumnRow(ScheduleWindow::enabledColumn, window.rows()[0].key);
    ASSERT_TRUE(window.rows()[0].enabled);
    // A delete the bridge refuses is told, and its item stays enabled.
    const std::string id = manager.collection()[0]->scheduleIDs().at(0);
    sim.statusPage(500, 1, "schedules/" + id);
    window.deleteAllFromBridge();
    EXPECT_EQ(window.tfReport().stringValue().rfind("The bridge did not delete 1 schedule (" + id +
                                                        "); their items "
                                                        "stay enabled, the others are disabled. The bridge did not "
                                                        "delete schedule " +
                                                        id + " of \"Wake\": ",
                                                    0),
              0u)
        << window.tfReport().stringValue();
    EXPECT_TRUE(window.rows()[0].enabled);

    // The bridge lost the item's schedule.
    sim.userRequest("DELETE", "schedules/" + manager.collection()[0]->scheduleIDs()[0]);
    window.windowDidBecomeKey();
    EXPECT_EQ(window.tfReport().stringValue(), "The bridge no longer holds the schedules of: Wake.");
    window.importFromBridge();
    EXPECT_EQ(window.tfReport().stringValue(), "Nothing to import: every schedule on the bridge belongs to an item.");
}

// An item imported from the bridge and closed in the editor without a
// change keeps the bridge's schedule word for word; changing its time
// registers it anew without colour values it never had.
TEST_F(ScheduleWindowTest, AnImportedItemSavedUnchangedKeepsItsCommand) {
    const std::string command =
        R"({"method":"PUT","address":"/api/testuser/lights/1/state","body":{"on":true,"bri":200}})";
    sim.userRequest("POST", "schedules", R"({"name":"Wake","time":"W127/T06:00:00","command":)" + command + "}");
    window.importFromBridge();
    ASSERT_EQ(window.rows().size(), 1u);
    sim.clearRequestLog();
    window.edit(window.rows()[0].key);
    ASSERT_TRUE(window.popoverShouldClose());
    EXPECT_TRUE(requests("POST").empty());
    EXPECT_TRUE(requests("DELETE").empty());
    ASSERT_EQ(bridgeSchedules().size(), 1u);
    EXPECT_EQ(bridgeSchedules().begin().value()["command"], json::parse(command));

    window.edit(window.rows()[0].key);
    window.tfOn().setStringValue("06:30");
    ASSERT_TRUE(window.popoverShouldClose());
    auto posted = postedSchedules();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0]["command"]["body"], json::parse(R"({"on":true})"));
    EXPECT_EQ(posted[1]["command"]["body"], json::parse(R"({"bri":200})"));
}

}  // namespace
}  // namespace glowmere
