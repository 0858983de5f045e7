#include <gtest/gtest.h>

#include <functional>

#include "integration/schedules/SimScheduleFixture.h"
#include "platform/Log.h"
#include "support/FakeUi.h"

namespace glowmere {
namespace {

using nlohmann::json;
using testing::SimScheduleFixture;

using testing::Every;
using testing::Friday;
using testing::Monday;
using testing::MonToFri;

struct Registration : ::testing::Test, SimScheduleFixture {
    // Registers `a` at a winter Wednesday noon in `zone` and gives the POSTs.
    std::vector<json> registerAt(Action& a, const std::string& zone = "UTC") {
        at(zone, 2026, 12, 9, 12, 0);
        sim.clearRequestLog();
        manager.breakDownAndRegisterNewActionWithHub(a);
        return postedSchedules();
    }
};

TEST_F(Registration, OnItemAsTheBridgeSeesIt) {
    Action a = item(Action::On, "3", "06:30", "00:00", MonToFri);
    a.setObjectForKey("Morning", "name");
    auto posted = registerAt(a, "Europe/Berlin");
    ASSERT_EQ(posted.size(), 1u);
    std::string user = sim.user();
    EXPECT_EQ(posted[0],
              json::parse(R"({"name":"Morning","description":"Switch lamp: Hall on at 06:30 on Mo, Tu, We, Th, Fr",
        "command":{"method":"PUT","address":"/api/)" +
                          user + R"(/lights/3/state","body":{"on":true}},
        "time":"W124/T05:30:00"})"));
    ASSERT_EQ(a.scheduleIDs().size(), 1u);
    EXPECT_TRUE(bridgeSchedules().contains(a.scheduleIDs()[0]));
    EXPECT_EQ(a.getDictionary()[ScheduleManager::utcOffsetKey].intValue(), 3600);
}

TEST_F(Registration, TimesAndMasksByKind) {
    struct Case {
        const char* what;
        int kind;
        const char* on;
        const char* off;
        int days;
        bool colour;
        std::vector<std::string> times;
        std::vector<std::string> bodies;
    };
    const Case cases[] = {
        {"off next morning",
         0,
         "22:00",
         "06:00",
         Friday,
         false,
         {"W004/T22:00:00", "W002/T06:00:00"},
         {R"({"on":true})", R"({"on":false})"}},
        {"off later the same day", 0, "06:00", "22:00", Friday, false, {"W004/T06:00:00", "W004/T22:00:00"}, {}},
        {"equal times", 0, "06:00", "06:00", Friday, false, {"W004/T06:00:00", "W004/T06:00:00"}, {}},
        {"false dusk is never shifted",
         6,
         "22:00",
         "06:00",
         Friday,
         false,
         {"W004/T06:00:00"},
         {R"({"on":false,"transitiontime":18000})"}},
        {"false dawn",
         5,
         "06:30",
         "00:00",
         Every,
         false,
         {"W127/T06:30:00"},
         {R"({"on":true,"bri":255,"transitiontime":18000})"}},
        {"listening registers nothing", 4, "22:00", "23:00", Every, false, {}, {}},
        {"listening with colour",
         4,
         "22:00",
         "23:00",
         Every,
         true,
         {"W127/T22:00:01"},
         {R"({"bri":225,"hue":9948,"sat":30})"}},
        {"off with colour at the on time", 2, "07:15", "23:00", Every, true, {"W127/T23:00:00", "W127/T07:15:01"}, {}},
        {"on & off with colour",
         0,
         "07:00",
         "08:00",
         Every,
         true,
         {"W127/T07:00:00", "W127/T08:00:00", "W127/T07:00:01"},
         {}},
    };
    for (const Case& c : cases) {
        Action a = item(c.kind, "1", c.on, c.off, c.days);
        a.setObjectForKey(c.colour, "colourbrightness");
        auto posted = registerAt(a);
        ASSERT_EQ(posted.size(), c.times.size()) << c.what;
        for (std::size_t i = 0; i < posted.size(); ++i) {
            EXPECT_EQ(posted[i]["time"], c.times[i]) << c.what;
            if (i < c.bodies.size()) {
                EXPECT_EQ(posted[i]["command"]["body"], json::parse(c.bodies[i])) << c.what;
            }
        }
        EXPECT_EQ(a.scheduleIDs().size(), c.times.size()) << c.what;
        EXPECT_EQ(a.getScheduleIDArray().has_value(), !c.times.empty()) << c.what;
    }
}

TEST_F(Registration, CopiesDescribeThemselvesAndNamesAreCut) {
    Action a = item(Action::OnAndOff, "1", "07:00", "23:00", MonToFri);
    a.setObjectForKey(std::string(40, 'n'), "name");
    auto posted = registerAt(a);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0]["name"], std::string(32, 'n'));
    EXPECT_EQ(posted[0]["description"], "Switch lamp: Hall on at 07:00 on Mo, Tu, We, Th, Fr");
    EXPECT_EQ(posted[1]["description"], "Switch lamp: Hall off at 23:00 on Mo, Tu, We, Th, Fr");
}

TEST_F(Registration, TransitionFromTheDefaults) {
    defaults.setObject("transitionMins", "5");
    Action a = item(Action::FalseDawn, "1", "06:30", "00:00");
    EXPECT_EQ(registerAt(a)[0]["command"]["body"]["transitiontime"], 3000);
    defaults.setObject("transitionMins", 0.25);
    Action b = item(Action::FalseDusk, "1", "00:00", "21:00");
    EXPECT_EQ(registerAt(b)[0]["command"]["body"]["transitiontime"], 150);
}

TEST_F(Registration, GroupOfAllLamps) {
    Action a = item(Action::On, "0", "06:30", "00:00");
    a.setObjectForKey(true, "group");
    auto posted = registerAt(a);
    EXPECT_EQ(posted[0]["command"]["address"], "/api/" + sim.user() + "/groups/0/action");
}

// The bridge counts weekdays in UTC: a local time whose UTC time falls on the
// day before or after takes that day's bits.
TEST_F(Registration, WeekdaysFollowTheUtcDay) {
    struct Case {
        const char* zone;
        int kind;
        const char* on;
        const char* off;
        int days;
        std::vector<std::string> times;
    };
    const Case cases[] = {
        {"Europe/Berlin", 1, "00:30", "00:00", Monday, {"W001/T23:30:00"}},
        {"Asia/Kolkata", 1, "05:00", "00:00", Monday, {"W001/T23:30:00"}},
        {"America/New_York", 1, "21:00", "00:00", Friday, {"W002/T02:00:00"}},
        {"America/St_Johns", 1, "22:00", "00:00", 1, {"W064/T01:30:00"}},
        {"Asia/Kolkata", 1, "12:00", "00:00", MonToFri, {"W124/T06:30:00"}},
        // Off after midnight (shifted to Tuesday) and before UTC midnight (back to Monday).
        {"Europe/Berlin", 0, "23:00", "00:30", Monday, {"W064/T22:00:00", "W064/T23:30:00"}},
    };
    for (const Case& c : cases) {
        Action a = item(c.kind, "1", c.on, c.off, c.days);
        auto posted = registerAt(a, c.zone);
        ASSERT_EQ(posted.size(), c.times.size()) << c.zone << " " << c.on;
        for (std::size_t i = 0; i < posted.size(); ++i) EXPECT_EQ(posted[i]["time"], c.times[i]) << c.zone;
    }
}

TEST_F(Registration, ReRegisteringReplacesAndFailuresRecordNothing) {
    Action a = item(Action::OnAndOff, "1", "07:00", "08:00");
    registerAt(a);
    auto first = a.scheduleIDs();
    ASSERT_EQ(first.size(), 2u);
    registerAt(a);
    auto deletes = requests("DELETE");
    ASSERT_EQ(deletes.size(), 2u);
    EXPECT_TRUE(deletes[0].ends_with("/schedules/" + first[0]));
    EXPECT_TRUE(deletes[1].ends_with("/schedules/" + first[1]));
    EXPECT_EQ(a.scheduleIDs().size(), 2u);

    // The bridge's schedules cannot be read: nothing is deleted or added,
    // and the item keeps the ids of the schedules the bridge still runs.
    sim.errorPage(1, "schedules");
    sim.clearRequestLog();
    auto second = a.scheduleIDs();
    EXPECT_FALSE(manager.breakDownAndRegisterNewActionWithHub(a));
    EXPECT_TRUE(postedSchedules().empty());
    EXPECT_EQ(a.scheduleIDs(), second);
    EXPECT_EQ(bridgeSchedules().size(), 2u);
}

// Every delete looks at the bridge's answer for each schedule: a refused
// one leaves the item as it was (a retry deletes the item's own schedule),
// and a schedule at the item's id that is no longer the item's own is left
// alone.
TEST_F(Registration, DeletesFollowWhatTheBridgeAnswers) {
    at("UTC", 2026, 12, 9, 12, 0);
    Action first = item(Action::On, "1", "07:00", "00:00");
    first.setObjectForKey("First", "name");
    Action second = item(Action::Off, "2", "00:00", "23:00");
    second.setObjectForKey("Second", "name");
    ASSERT_TRUE(manager.addAction(first));
    ASSERT_TRUE(manager.addAction(second));
    const std::string firstId = manager.collection()[0]->scheduleIDs().at(0);
    const std::string secondId = manager.collection()[1]->scheduleIDs().at(0);

    struct Case {
        const char* what;
        std::function<void()> fault;
        std::function<bool()> operation;
        std::string problem;
    };
    const std::string refusal = "the bridge did not delete schedule " + firstId + " of \"First\": ";
    const Case refused[] = {
        {"disable, DELETE refused", [&] { sim.statusPage(500, 1, "schedules/" + firstId); },
         [&] { return manager.setActionEnabled(0, false); }, refusal},
        {"delete, DELETE refused", [&] { sim.statusPage(500, 1, "schedules/" + firstId); },
         [&] { return manager.deleteAction(0); }, refusal},
        {"delete, a list that is not an object", [&] { sim.fixedReply("[]", "GET", 1, "schedules"); },
         [&] { return manager.deleteAction(0); }, "the bridge's schedule list could not be read"},
    };
    for (const Case& c : refused) {
        c.fault();
        EXPECT_FALSE(c.operation()) << c.what;
        ASSERT_EQ(manager.collection().size(), 2u) << c.what;
        EXPECT_TRUE(manager.collection()[0]->isEnabled()) << c.what;
        EXPECT_EQ(manager.collection()[0]->scheduleIDs(), std::vector<std::string>{firstId}) << c.what;
        EXPECT_TRUE(bridgeSchedules().contains(firstId)) << c.what;
        ASSERT_FALSE(manager.problems().empty()) << c.what;
        EXPECT_EQ(manager.problems()[0].rfind(c.problem, 0), 0u) << manager.problems()[0];
        if (c.problem == refusal) {
            EXPECT_NE(manager.problems()[0].find("HTTP 500"), std::string::npos) << "and why";
        }
    }
    // The retry deletes the item's own schedule, and only that one.
    Action stale(manager.collection()[0]->getDictionary());
    EXPECT_TRUE(manager.deleteAction(0));
    ASSERT_EQ(manager.collection().size(), 1u);
    EXPECT_EQ(bridgeSchedules().size(), 1u);
    EXPECT_TRUE(bridgeSchedules().contains(secondId));

    // An old copy of the deleted item (a profile that could not be saved)
    // still names its id, which the bridge has since given to another item's
    // schedule: that one is left alone.
    Action third = item(Action::On, "3", "08:00", "00:00");
    third.setObjectForKey("Third", "name");
    ASSERT_TRUE(manager.addAction(third));
    ASSERT_EQ(manager.collection()[1]->scheduleIDs(), std::vector<std::string>{firstId}) << "the id is reused";
    manager.collection().push_back(std::make_shared<Action>(stale));
    platform::LogCapture log;
    sim.clearRequestLog();
    EXPECT_TRUE(manager.setActionEnabled(2, false));
    EXPECT_TRUE(requests("DELETE").empty());
    EXPECT_TRUE(log.containsSubstring("schedule " + firstId + " on the bridge is no longer First's own"));
    EXPECT_FALSE(manager.collection()[2]->getScheduleIDArray());
    EXPECT_FALSE(manager.collection()[2]->isEnabled());
    EXPECT_EQ(bridgeSchedules()[firstId]["name"], "Third");
}

// An enable whose reply names no schedule leaves the item disabled and
// takes back what it did register.
TEST_F(Registration, EnableFailsWhenTheReplyHoldsNoId) {
    at("UTC", 2026, 12, 9, 12, 0);
    Action a = item(Action::OnAndOff, "1", "07:00", "08:00");
    a.setEnabled(false);
    ASSERT_TRUE(manager.addAction(a));
    for (const char* reply : {"{}", "[]", R"([{"success":{}}])"}) {
        sim.fixedReply(reply, "POST", 1, "schedules");
        EXPECT_FALSE(manager.setActionEnabled(0, true)) << reply;
        EXPECT_FALSE(manager.collection()[0]->isEnabled()) << reply;
        EXPECT_FALSE(manager.collection()[0]->getScheduleIDArray()) << reply;
        EXPECT_TRUE(bridgeSchedules().empty()) << reply << ": the off schedule is taken back";
        EXPECT_FALSE(defaults.objectForKey(ScheduleManager::actionsKey).at(0)["enabled"].boolValue()) << reply;
    }
}

TEST_F(Registration, DeleteAllAsksThenClearsTheBridgeAndDisablesEverything) {
    testing::FakeAlerts alerts;
    manager.setAlerts(&alerts);
    platform::TextField status("stale");
    manager.setManagerStatusField(&status);
    at("UTC", 2026, 12, 9, 12, 0);
    manager.addAction(item(Action::On, "1", "07:00", "00:00"));
    sim.userRequest(
        "POST", "schedules",
        R"({"name":"other","command":{"method":"PUT","address":"/api/x/lights/1/state","body":{"on":true}},"time":"W127/T10:00:00"})");
    ASSERT_EQ(bridgeSchedules().size(), 2u);

    alerts.queueAnswer(platform::AlertResponse::Alternate);
    EXPECT_FALSE(manager.deleteAllFromBridge());
    EXPECT_EQ(bridgeSchedules().size(), 2u);
    EXPECT_EQ(alerts.shown().at(0).message, "Delete all schedules from the bridge?");

    EXPECT_TRUE(manager.deleteAllFromBridge());
    EXPECT_EQ(bridgeSchedules().size(), 0u);
    EXPECT_FALSE(manager.collection()[0]->isEnabled());
    EXPECT_FALSE(manager.collection()[0]->getScheduleIDArray());
    EXPECT_EQ(status.stringValue(), "");
    // Stored at once.
    EXPECT_FALSE(defaults.objectForKey(ScheduleManager::actionsKey).at(0)["enabled"].boolValue());

    // One refused delete: its item keeps the schedule and stays enabled.
    manager.setActionEnabled(0, true);
    manager.addAction(item(Action::On, "2", "08:00", "00:00"));
    const std::string kept = manager.collection()[1]->scheduleIDs().at(0);
    sim.statusPage(500, 1, "schedules/" + kept);
    EXPECT_TRUE(manager.deleteAllFromBridge(true));
    EXPECT_EQ(manager.refusedSchedules(), std::vector<std::string>{kept});
    EXPECT_EQ(bridgeSchedules().size(), 1u);
    EXPECT_FALSE(manager.collection()[0]->isEnabled());
    EXPECT_TRUE(manager.collection()[1]->isEnabled());
    EXPECT_EQ(manager.collection()[1]->scheduleIDs(), std::vector<std::string>{kept});

    // A list longer than any bridge's is refused without a request per member.
    sim.longList(1001, 1, "schedules");
    sim.clearRequestLog();
    EXPECT_FALSE(manager.deleteAllFromBridge(true));
    EXPECT_EQ(sim.requestLog().size(), 1u);
    EXPECT_TRUE(manager.collection()[1]->isEnabled());

    sim.stop();
    manager.collection()[0]->setEnabled(true);
    EXPECT_FALSE(manager.deleteAllFromBridge(true));
    EXPECT_TRUE(manager.collection()[0]->isEnabled()) << "an unreachable bridge changes nothing";
}

}  // namespace
}  // namespace glowmere
