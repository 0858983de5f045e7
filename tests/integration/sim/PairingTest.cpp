#include <gtest/gtest.h>

#include "SimJson.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

const char* kLogin = R"({"devicetype":"org.glowmere.Glowmere"})";

json login(SimulatedBridge& bridge) {
    return parseReply(bridge.request("POST", "/api", kLogin));
}

SimulatedBridge::Options withLinkButton(const std::string& linkButton, const std::string& user = "") {
    SimulatedBridge::Options options;
    options.user = user;
    options.linkButton = linkButton;
    return options;
}

TEST(SimPairing, RefusesUntilTheLinkButtonIsPressedThenIssuesAName) {
    SimulatedBridge bridge(withLinkButton(""));
    json refused = login(bridge);
    EXPECT_EQ(refused, json::parse(R"([{"error":{"type":101,"address":"","description":"link button not pressed"}}])"));

    bridge.pressLinkButton();
    json granted = login(bridge);
    std::string name = granted[0]["success"]["username"];
    EXPECT_GE(name.size(), 32u);
    EXPECT_LE(name.size(), 40u);
    EXPECT_TRUE(parseReply(bridge.request("GET", "/api/" + name + "/lights")).contains("1"));
    json whitelist = parseReply(bridge.request("GET", "/api/" + name + "/config"))["whitelist"];
    EXPECT_EQ(whitelist[name]["name"], "org.glowmere.Glowmere");
    // A second application gets a name of its own.
    EXPECT_NE(login(bridge)[0]["success"]["username"], name);
}

TEST(SimPairing, APressLastsThirtySecondsOfTheBridgesClock) {
    SimulatedBridge bridge(withLinkButton(""));
    bridge.setClock(tuesdayAt("09:00:00"));
    bridge.pressLinkButton();
    bridge.advanceClock(30);
    EXPECT_TRUE(login(bridge)[0].contains("success"));
    bridge.advanceClock(0.5);
    EXPECT_EQ(onlyError(login(bridge))["type"], 101);
}

TEST(SimPairing, LinkButtonOptions) {
    SimulatedBridge held(withLinkButton("pressed"));
    held.setClock(tuesdayAt("09:00:00"));
    held.advanceClock(3600);
    EXPECT_TRUE(login(held)[0].contains("success"));

    SimulatedBridge never(withLinkButton("never"));
    EXPECT_THROW(never.pressLinkButton(), std::runtime_error);
    EXPECT_EQ(onlyError(login(never))["type"], 101);
}

TEST(SimPairing, PressedAfterADelayOnTheBridgesClock) {
    SimulatedBridge bridge(withLinkButton("after=5"));
    // Stop the clock where it stands, then let the five seconds pass.
    bridge.control("POST", "/sim/clock/advance", R"({"seconds":0})");
    EXPECT_EQ(onlyError(login(bridge))["type"], 101);
    bridge.advanceClock(5);
    EXPECT_TRUE(login(bridge)[0].contains("success"));
    bridge.advanceClock(31);
    EXPECT_EQ(onlyError(login(bridge))["type"], 101);
}

TEST(SimPairing, UnknownUsersAndBadLoginBodies) {
    SimulatedBridge bridge(withLinkButton("pressed", "testuser"));
    json unknown = onlyError(parseReply(bridge.request("GET", "/api/nobody/lights/1")));
    EXPECT_EQ(unknown, json::parse(R"({"type":1,"address":"/lights/1","description":"unauthorized user"})"));
    EXPECT_EQ(onlyError(parseReply(bridge.request("PUT", "/api/nobody/lights/1/state", R"({"on":true})")))["type"], 1);
    EXPECT_EQ(onlyError(parseReply(bridge.request("GET", "/api")))["type"], 1);

    EXPECT_EQ(onlyError(parseReply(bridge.request("POST", "/api", "devicetype=x")))["type"], 2);
    EXPECT_EQ(onlyError(parseReply(bridge.request("POST", "/api", "{}")))["type"], 5);
    EXPECT_EQ(onlyError(parseReply(bridge.request("POST", "/api", R"({"devicetype":7})")))["type"], 7);
    EXPECT_TRUE(parseReply(bridge.request("GET", "/api/testuser/lights")).contains("1"));
}

}  // namespace
}  // namespace glowmere::testing
