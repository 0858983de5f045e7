#include <gtest/gtest.h>

#include "SimJson.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

class SimSearch : public ::testing::Test {
protected:
    void SetUp() override { bridge.setClock(tuesdayAt("18:00:00")); }
    json call(const std::string& method, const std::string& path, const std::string& body = "") {
        return parseReply(bridge.userRequest(method, path, body));
    }

    SimulatedBridge bridge;
};

TEST_F(SimSearch, QueuedLampsAppearTheirDelayAfterTheSearchStarts) {
    bridge.queueNewLamps(2, 12, {"Porch", "Garage"});
    bridge.advanceClock(30);
    EXPECT_EQ(call("GET", "lights").size(), 5u) << "lamps appear only once searched for";

    EXPECT_EQ(call("POST", "lights", "{}"), json::parse(R"([{"success":{"/lights":"Searching for new devices"}}])"));
    bridge.advanceClock(11.9);
    EXPECT_EQ(call("GET", "lights").size(), 5u);
    bridge.advanceClock(0.1);
    json lights = call("GET", "lights");
    ASSERT_EQ(lights.size(), 7u);
    EXPECT_EQ(lights["6"]["name"], "Porch");
    EXPECT_EQ(lights["7"]["name"], "Garage");
    EXPECT_EQ(lights["7"]["state"]["reachable"], true);
    EXPECT_EQ(lights["7"]["type"], "Extended color light");
}

TEST_F(SimSearch, LampsQueuedDuringASearchStillArriveWithinIt) {
    call("POST", "lights");  // an empty body, as some clients send
    bridge.advanceClock(30);
    bridge.queueNewLamps(1, 20);
    bridge.advanceClock(0.001);
    EXPECT_EQ(call("GET", "lights").size(), 6u);
}

TEST_F(SimSearch, ASearchWithNothingQueuedFindsNothing) {
    call("POST", "lights", "{}");
    bridge.advanceClock(120);
    EXPECT_EQ(call("GET", "lights").size(), 5u);
}

TEST_F(SimSearch, LampsQueuedAfterASearchEndedWaitForTheNextOne) {
    call("POST", "lights", "{}");
    bridge.advanceClock(61);
    bridge.queueNewLamps(1, 5);
    bridge.advanceClock(30);
    EXPECT_EQ(call("GET", "lights").size(), 5u);
    call("POST", "lights", "{}");
    bridge.advanceClock(5);
    EXPECT_EQ(call("GET", "lights").size(), 6u);
}

}  // namespace
}  // namespace glowmere::testing
