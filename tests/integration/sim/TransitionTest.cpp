#include <gtest/gtest.h>

#include "SimJson.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

// Transitions run on the bridge's own clock, stopped here, so the values in
// between are exact.
class SimTransitions : public ::testing::Test {
protected:
    void SetUp() override { bridge.setClock(tuesdayAt("12:00:00")); }
    json state(const std::string& id) { return parseReply(bridge.userRequest("GET", "lights/" + id))["state"]; }
    json put(const std::string& path, const std::string& body) {
        return parseReply(bridge.userRequest("PUT", path, body));
    }

    SimulatedBridge bridge;
};

TEST_F(SimTransitions, MovesGraduallyToTheNewValues) {
    bridge.changeLamp("1", R"({"on":true,"bri":0,"hue":0,"sat":0})");
    json reply = put("lights/1/state", R"({"bri":200,"hue":40000,"sat":100,"transitiontime":100})");
    EXPECT_EQ(reply[3]["success"]["/lights/1/state/transitiontime"], 100);
    EXPECT_EQ(state("1")["bri"], 0);
    bridge.advanceClock(2.5);  // a quarter of ten seconds
    EXPECT_EQ(state("1")["bri"], 50);
    EXPECT_EQ(state("1")["hue"], 10000);
    EXPECT_EQ(state("1")["sat"], 25);
    bridge.advanceClock(7.5);
    EXPECT_EQ(state("1")["bri"], 200);
    EXPECT_EQ(state("1")["hue"], 40000);
}

TEST_F(SimTransitions, SwitchingOffWithATransitionDimsThenSwitchesOff) {
    bridge.changeLamp("1", R"({"on":true,"bri":200})");
    put("lights/1/state", R"({"on":false,"transitiontime":40})");
    bridge.advanceClock(2);
    EXPECT_EQ(state("1")["on"], true);
    EXPECT_EQ(state("1")["bri"], 100);
    bridge.advanceClock(2);
    EXPECT_EQ(state("1")["on"], false);
    // Switched on again, it comes back at the brightness it had.
    put("lights/1/state", R"({"on":true})");
    EXPECT_EQ(state("1")["bri"], 200);
}

TEST_F(SimTransitions, AFalseDawnFadesUpFromDark) {
    bridge.changeLamp("1", R"({"on":false,"bri":90})");
    put("lights/1/state", R"({"on":true,"bri":255,"transitiontime":18000})");
    EXPECT_EQ(state("1")["on"], true);
    EXPECT_EQ(state("1")["bri"], 0);
    bridge.advanceClock(900);
    EXPECT_EQ(state("1")["bri"], 128);
    bridge.advanceClock(900);
    EXPECT_EQ(state("1")["bri"], 255);
}

TEST_F(SimTransitions, ANewCommandStartsFromWhereTheLampIsNow) {
    bridge.changeLamp("1", R"({"on":true,"bri":0})");
    put("lights/1/state", R"({"bri":200,"transitiontime":20})");
    bridge.advanceClock(1);
    put("lights/1/state", R"({"bri":0,"transitiontime":10})");
    EXPECT_EQ(state("1")["bri"], 100);
    bridge.advanceClock(0.5);
    EXPECT_EQ(state("1")["bri"], 50);
    bridge.advanceClock(10);
    EXPECT_EQ(state("1")["bri"], 0);
    EXPECT_EQ(state("1")["on"], true);
}

TEST_F(SimTransitions, ALampSwitchedOffInTheMiddleOfADimStaysOff) {
    bridge.changeLamp("1", R"({"on":true,"bri":100})");
    put("lights/1/state", R"({"on":false,"transitiontime":100})");
    bridge.advanceClock(5);
    put("lights/1/state", R"({"on":false})");
    EXPECT_EQ(state("1")["on"], false);
    bridge.advanceClock(10);
    EXPECT_EQ(state("1")["on"], false);
    put("lights/1/state", R"({"on":true})");
    EXPECT_EQ(state("1")["bri"], 100) << "it comes back at the brightness it had before the dim";
}

}  // namespace
}  // namespace glowmere::testing
