#include <gtest/gtest.h>
#include <unistd.h>

#include "SimJson.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

json scheduleBody(const std::string& time, const std::string& address, const std::string& body,
                  const std::string& name = "Morning") {
    return json{{"name", name},
                {"description", "Switch lamp: Hall on at 06:30 on Tu"},
                {"command", {{"method", "PUT"}, {"address", address}, {"body", json::parse(body)}}},
                {"time", time}};
}

class SimSchedules : public ::testing::Test {
protected:
    void SetUp() override {
        bridge.setClock(tuesdayAt("06:29:59"));
        bridge.changeLamp("1", R"({"on":false,"bri":120})");
    }
    json call(const std::string& method, const std::string& path, const std::string& body = "") {
        return parseReply(bridge.userRequest(method, path, body));
    }
    std::string make(const std::string& time, const std::string& body = R"({"on":true})",
                     const std::string& address = "/api/testuser/lights/1/state") {
        json reply = call("POST", "schedules", scheduleBody(time, address, body).dump());
        return reply[0]["success"].value("id", "");
    }
    bool lampOn(const std::string& id = "1") { return call("GET", "lights/" + id)["state"]["on"]; }

    SimulatedBridge bridge;
};

TEST_F(SimSchedules, AScheduleFiresAtItsTimeOnItsWeekdays) {
    // Tuesday 32 and Thursday 8.
    std::string id = make("W040/T06:30:00");
    EXPECT_EQ(id, "1");
    EXPECT_FALSE(lampOn());
    bridge.advanceClock(0.5);
    EXPECT_FALSE(lampOn());
    bridge.advanceClock(0.5);
    EXPECT_TRUE(lampOn());

    // Not on Wednesday; again on Thursday.
    bridge.changeLamp("1", R"({"on":false})");
    bridge.advanceClock(24 * 3600);
    EXPECT_FALSE(lampOn());
    bridge.advanceClock(24 * 3600);
    EXPECT_TRUE(lampOn());
}

TEST_F(SimSchedules, CarriesOutTheCommandInFullIncludingItsTransition) {
    make("W127/T06:30:01", R"({"on":true,"bri":255,"transitiontime":18000})");
    bridge.advanceClock(2);
    EXPECT_TRUE(lampOn());
    EXPECT_LT(call("GET", "lights/1")["state"]["bri"], 5);
    bridge.advanceClock(1800);
    EXPECT_EQ(call("GET", "lights/1")["state"]["bri"], 255);
}

TEST_F(SimSchedules, AGroupCommandReachesTheMembers) {
    make("W032/T06:30:00", R"({"on":true})", "/api/testuser/groups/2/action");
    bridge.changeLamp("3", R"({"on":false})");
    bridge.advanceClock(1);
    EXPECT_TRUE(lampOn("3"));
    EXPECT_FALSE(lampOn("1"));
}

TEST_F(SimSchedules, ReadsChangesAndDeletesSchedules) {
    std::string id = make("W124/T05:30:00");
    json one = call("GET", "schedules/" + id);
    EXPECT_EQ(one["name"], "Morning");
    EXPECT_EQ(one["time"], "W124/T05:30:00");
    EXPECT_EQ(one["command"]["address"], "/api/testuser/lights/1/state");
    EXPECT_EQ(one["command"]["body"], json::parse(R"({"on":true})"));
    EXPECT_TRUE(call("GET", "schedules").contains(id));

    // Moved to a second from now, it fires then.
    json moved = call("PUT", "schedules/" + id, R"({"time":"W127/T06:30:00"})");
    EXPECT_EQ(moved[0]["success"]["/schedules/" + id + "/time"], "W127/T06:30:00");
    bridge.advanceClock(1);
    EXPECT_TRUE(lampOn());

    EXPECT_EQ(call("DELETE", "schedules/" + id), json::parse("[{\"success\":\"/schedules/" + id + " deleted\"}]"));
    EXPECT_EQ(call("GET", "schedules").size(), 0u);
    bridge.changeLamp("1", R"({"on":false})");
    bridge.advanceClock(7 * 24 * 3600);
    EXPECT_FALSE(lampOn());
}

TEST_F(SimSchedules, RefusesWhatItCannotKeep) {
    struct Case {
        json body;
        int type;
    };
    json good = scheduleBody("W124/T06:30:00", "/api/testuser/lights/1/state", R"({"on":true})");
    auto with = [&good](const char* key, json value) {
        json b = good;
        b[key] = value;
        return b;
    };
    auto without = [&good](const char* key) {
        json b = good;
        b.erase(key);
        return b;
    };
    const Case cases[] = {
        {with("name", std::string(33, 'n')), 7},
        {with("description", std::string(65, 'd')), 7},
        {with("time", "W128/T06:30:00"), 7},
        {with("time", "W000/T06:30:00"), 7},
        {with("time", "W124/T24:00:00"), 7},
        {with("time", "W124/T6:30:00"), 7},
        {with("time", "2026-12-08T06:30:00"), 7},
        {with("time", 630), 7},
        {with("command", json{{"method", "PUT"}, {"address", "lights/1/state"}, {"body", {{"on", true}}}}), 7},
        {without("time"), 5},
        {without("command"), 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(onlyError(call("POST", "schedules", c.body.dump()))["type"], c.type) << c.body.dump();
    }
    EXPECT_EQ(call("GET", "schedules").size(), 0u);
    // At the limits it takes them.
    EXPECT_EQ(call("POST", "schedules", with("name", std::string(32, 'n')).dump())[0]["success"]["id"], "1");
    EXPECT_EQ(onlyError(call("PUT", "schedules/1", R"({"time":"W1/T99:00:00"})"))["type"], 7);
    EXPECT_EQ(call("GET", "schedules/1")["time"], "W124/T06:30:00");
    EXPECT_EQ(onlyError(call("GET", "schedules/2"))["type"], 3);
}

TEST_F(SimSchedules, ACommandOfAUserNoLongerKnownDoesNothing) {
    bridge.addUser("olduser");
    make("W127/T06:30:00", R"({"on":true})", "/api/olduser/lights/1/state");
    bridge.control("DELETE", "/sim/users/olduser");
    bridge.advanceClock(2);
    EXPECT_FALSE(lampOn());
}

TEST_F(SimSchedules, FiresOnRealTimeToo) {
    make("W127/T06:30:00");
    bridge.setClock(tuesdayAt("06:29:59.950"));
    bridge.runClockInRealTime();
    // 50 ms to go on the bridge's clock; the bound is generous for a busy machine.
    for (int i = 0; i < 500 && !lampOn(); ++i) usleep(10000);
    EXPECT_TRUE(lampOn());
}

}  // namespace
}  // namespace glowmere::testing
