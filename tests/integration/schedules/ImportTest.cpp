#include <gtest/gtest.h>

#include "integration/schedules/SimScheduleFixture.h"
#include "platform/Log.h"

namespace glowmere {
namespace {

using nlohmann::json;
using testing::SimScheduleFixture;

struct Import : ::testing::Test, SimScheduleFixture {
    // A schedule another client leaves on the bridge; gives its identifier.
    std::string leave(const std::string& name, const std::string& address, const std::string& body,
                      const std::string& time) {
        json schedule = {{"name", name},
                         {"description", "left by " + name},
                         {"command", {{"method", "PUT"}, {"address", address}, {"body", json::parse(body)}}},
                         {"time", time}};
        auto reply = sim.userRequest("POST", "schedules", schedule.dump());
        return json::parse(*reply)[0]["success"]["id"];
    }
    std::shared_ptr<Action> imported(const std::string& id) {
        for (const auto& item : manager.collection())
            if (item->scheduleIDs() == std::vector<std::string>{id}) return item;
        return nullptr;
    }
    std::string lamps() { return "/api/" + sim.user() + "/lights/"; }
    std::string groups() { return "/api/" + sim.user() + "/groups/"; }
};

TEST_F(Import, ReproducesWhatOtherClientsLeft) {
    at("Africa/Lagos", 2026, 12, 9, 12, 0);  // one hour ahead of UTC, also in June 2012
    auto on = leave("Hall on", lamps() + "3/state", R"({"on":true})", "W124/T05:30:00");
    auto dawn =
        leave("Dawn", groups() + "0/action", R"({"on":true,"bri":255,"transitiontime":18000})", "W127/T05:00:00");
    auto dusk = leave("Dusk", groups() + "1/action", R"({"on":false,"transitiontime":18000})", "W003/T20:00:00");
    auto colour = leave("Colour", lamps() + "2/state", R"({"bri":100,"hue":5000})", "W064/T17:15:01");
    auto odd = leave("Odd", lamps() + "1/state", R"({"alert":"select"})", "W001/T08:00:00");

    manager.windowDidBecomeKey();
    EXPECT_EQ(manager.managerStatus(), ScheduleManager::otherAppStatus);
    manager.importFromBridge();
    EXPECT_EQ(manager.managerStatus(), "");
    ASSERT_EQ(manager.collection().size(), 5u);

    auto a = imported(on);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->isEnabled());
    EXPECT_EQ(a->kind(), Action::On);
    EXPECT_EQ(ScheduleManager::getBinaryForWeekdays(*a), "124");
    EXPECT_EQ(a->objectForKey("ontime"), Value("06:30"));
    EXPECT_EQ(a->objectForKey("offtime"), Value("00:00"));
    EXPECT_EQ(a->objectForKey("group"), Value(false));
    EXPECT_EQ(a->objectForKey("lampid"), Value(3));
    EXPECT_EQ(a->objectForKey("lamp"), Value("lamp: Living room"));
    EXPECT_EQ(a->objectForKey("name"), Value("Hall on"));
    EXPECT_EQ(a->objectForKey("description"), Value("left by Hall on"));
    EXPECT_FALSE(a->objectForKey("colourbrightness").boolValue());

    auto b = imported(dawn);
    EXPECT_EQ(b->kind(), Action::On);
    EXPECT_TRUE(b->objectForKey("colourbrightness").boolValue());
    EXPECT_EQ(b->objectForKey("brightness").doubleValue(), 255);
    EXPECT_EQ(b->objectForKey("lamp"), Value("group: All"));
    EXPECT_FALSE(b->getDictionary().contains("transitiontime"));

    auto c = imported(dusk);
    EXPECT_EQ(c->kind(), Action::Off);
    EXPECT_EQ(c->objectForKey("offtime"), Value("21:00"));
    EXPECT_EQ(c->objectForKey("lamp"), Value("group: Downstairs"));
    EXPECT_EQ(c->objectForKey("group"), Value(true));

    auto d = imported(colour);
    EXPECT_EQ(d->kind(), Action::ColourBrightness);
    EXPECT_EQ(d->objectForKey("brightness").doubleValue(), 100);
    EXPECT_EQ(d->objectForKey("colour").doubleValue(), 5000);
    EXPECT_FALSE(d->getDictionary().contains("saturation"));
    EXPECT_EQ(d->objectForKey("ontime"), Value("18:15"));

    auto e = imported(odd);
    EXPECT_EQ(e->kind(), 0);
    EXPECT_FALSE(e->getDictionary().contains("ontime"));

    // Stored at once; nothing was changed on the bridge.
    EXPECT_EQ(defaults.objectForKey(ScheduleManager::actionsKey).size(), 5u);
    EXPECT_TRUE(requests("PUT").empty());
    EXPECT_TRUE(postedSchedules().size() == 5u);  // only the other client's
    // The list carries each record: one request for all of them.
    for (const auto& get : requests("GET")) EXPECT_EQ(get.find("/schedules/"), std::string::npos) << get;

    // Importing twice adds nothing.
    manager.importFromBridge();
    EXPECT_EQ(manager.collection().size(), 5u);
    manager.windowDidBecomeKey();
    EXPECT_EQ(manager.managerStatus(), "");
}

// Days the bridge counts in UTC come back as local days, the shifted off
// days included.
TEST_F(Import, RegisteredItemsRoundTripThroughAnotherComputer) {
    // Items registered here, imported by a second manager with no items.
    at("Europe/Berlin", 2026, 12, 9, 12, 0);
    manager.addAction(item(Action::OnAndOff, "2", "22:00", "00:30", 16 | 4));
    platform::DefaultsStore defaults2;
    defaults2.setObject("username", sim.user());
    BridgeBridge bridge2(http, defaults2, clock);
    bridge2.setBridgeIP(sim.address());
    ScheduleManager second(bridge2, defaults2, loop, *platform::TimeZone::named("Europe/Berlin"));
    second.importFromBridge();
    ASSERT_EQ(second.collection().size(), 2u);
    std::map<int, std::shared_ptr<Action>> byKind;
    for (auto& i : second.collection()) byKind[i->kind()] = i;
    EXPECT_EQ(byKind[Action::On]->objectForKey("ontime"), Value("22:00"));
    EXPECT_EQ(ScheduleManager::getBinaryForWeekdays(*byKind[Action::On]), "020");
    EXPECT_EQ(byKind[Action::Off]->objectForKey("offtime"), Value("00:30"));
    // The off schedule runs the mornings after Wednesday and Friday.
    EXPECT_EQ(ScheduleManager::getBinaryForWeekdays(*byKind[Action::Off]), "010");
}

TEST_F(Import, UnreachableBridgeOrUnreadableSchedulesChangeNothing) {
    at("UTC", 2026, 12, 9, 12, 0);
    leave("x", lamps() + "1/state", R"({"on":true})", "W127/T05:30:00");
    // A list of names only: the schedule is read on its own, and skipped when
    // that fails; a list longer than any bridge's is refused.
    sim.longList(1, 1, "schedules");
    sim.errorPage(1, "schedules/");
    manager.importFromBridge();
    EXPECT_TRUE(manager.collection().empty()) << "a schedule that cannot be read is skipped";
    sim.longList(1001, 1, "schedules");
    sim.clearRequestLog();
    manager.importFromBridge();
    EXPECT_TRUE(manager.collection().empty());
    EXPECT_EQ(sim.requestLog().size(), 1u);
    EXPECT_FALSE(manager.problems().empty());
    sim.longList(1, 1, "schedules");
    manager.importFromBridge();
    ASSERT_EQ(manager.collection().size(), 1u) << "read on its own";
    EXPECT_EQ(manager.collection()[0]->objectForKey("name"), Value("x"));
    manager.collection().clear();
    sim.stop();
    manager.importFromBridge();
    manager.windowDidBecomeKey();
    EXPECT_TRUE(manager.collection().empty());
    EXPECT_EQ(manager.managerStatus(), "");
}

TEST_F(Import, StartUpMatchDisablesItemsWhoseSchedulesWent) {
    at("UTC", 2026, 12, 9, 12, 0);
    manager.addAction(item(Action::OnAndOff, "1", "07:00", "08:00"));
    manager.addAction(item(Action::On, "2", "09:00", "00:00"));
    auto ids = manager.collection()[0]->scheduleIDs();
    ASSERT_EQ(ids.size(), 2u);
    sim.userRequest("DELETE", "schedules/" + ids[0]);

    manager.matchBridgeWithInternal();
    EXPECT_FALSE(manager.collection()[0]->isEnabled());
    EXPECT_FALSE(manager.collection()[0]->getScheduleIDArray());
    EXPECT_TRUE(manager.collection()[1]->isEnabled());
    EXPECT_FALSE(defaults.objectForKey(ScheduleManager::actionsKey).at(0)["enabled"].boolValue()) << "stored";

    // The item's other schedule now counts as foreign.
    manager.windowDidBecomeKey();
    EXPECT_EQ(manager.managerStatus(), ScheduleManager::otherAppStatus);

    // A schedule that is there but not answered for keeps its item.
    sim.closeWithoutReply(1, "schedules/" + manager.collection()[1]->scheduleIDs().at(0));
    manager.matchBridgeWithInternal();
    EXPECT_TRUE(manager.collection()[1]->isEnabled());
    EXPECT_EQ(manager.collection()[1]->scheduleIDs().size(), 1u);

    sim.stop();
    manager.matchBridgeWithInternal();
    EXPECT_TRUE(manager.collection()[1]->isEnabled()) << "an unreachable bridge disables nothing";
}

}  // namespace
}  // namespace glowmere
