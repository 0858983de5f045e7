#include <gtest/gtest.h>

#include "SimJson.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

class SimGroups : public ::testing::Test {
protected:
    json call(const std::string& method, const std::string& path, const std::string& body = "") {
        return parseReply(bridge.userRequest(method, path, body));
    }

    SimulatedBridge bridge;
};

TEST_F(SimGroups, ListsGroupsWithoutGroupZeroWhichHoldsEveryLamp) {
    json groups = call("GET", "groups");
    EXPECT_EQ(groups.size(), 2u);
    EXPECT_FALSE(groups.contains("0"));
    EXPECT_EQ(groups["1"]["lights"], json::parse(R"(["1","2"])"));
    EXPECT_EQ(groups["2"]["lights"], json::parse(R"(["3","4","5"])"));
    for (const char* key : {"name", "lights", "type", "action"}) EXPECT_TRUE(groups["1"].contains(key)) << key;

    json all = call("GET", "groups/0");
    EXPECT_EQ(all["lights"], json::parse(R"(["1","2","3","4","5"])"));
    EXPECT_TRUE(all["action"].contains("on"));
}

TEST_F(SimGroups, MakesRenamesAndDeletesAGroup) {
    json made = call("POST", "groups", R"({"name":"Reading","lights":["1","3"]})");
    EXPECT_EQ(made, json::parse(R"([{"success":{"id":"3"}}])"));
    EXPECT_EQ(call("GET", "groups/3")["lights"], json::parse(R"(["1","3"])"));

    json renamed = call("PUT", "groups/3", R"({"name":"Lesen"})");
    EXPECT_EQ(renamed[0]["success"]["/groups/3/name"], "Lesen");
    EXPECT_EQ(call("GET", "groups/3")["name"], "Lesen");

    EXPECT_EQ(call("DELETE", "groups/3"), json::parse(R"([{"success":"/groups/3 deleted"}])"));
    EXPECT_EQ(onlyError(call("GET", "groups/3"))["description"], "resource, /groups/3, not available");
    EXPECT_EQ(call("GET", "groups").size(), 2u);
    // The freed identifier is handed out again.
    EXPECT_EQ(call("POST", "groups", R"({"name":"Again","lights":["2"]})")[0]["success"]["id"], "3");
}

TEST_F(SimGroups, RefusesGroupsItCannotMake) {
    EXPECT_EQ(onlyError(call("POST", "groups", R"({"name":"No lamps"})"))["type"], 5);
    EXPECT_EQ(onlyError(call("POST", "groups", R"({"name":"Ghost","lights":["9"]})"))["description"],
              "resource, /lights/9, not available");
    EXPECT_EQ(onlyError(call("POST", "groups", R"({"name":"Text","lights":"[\"1\"]"})"))["type"], 7);
    EXPECT_EQ(onlyError(call("POST", "groups", R"({"name":"Numbers","lights":[1,2]})"))["type"], 7);
    EXPECT_EQ(onlyError(call("DELETE", "groups/0"))["type"], 4);
    EXPECT_EQ(onlyError(call("DELETE", "groups/8"))["type"], 3);
    EXPECT_EQ(call("GET", "groups").size(), 2u);
}

TEST_F(SimGroups, AnActionReachesEveryMemberAndOnlyThem) {
    bridge.changeLamp("1", R"({"on":true,"bri":10})");
    bridge.changeLamp("2", R"({"on":true,"bri":10})");
    bridge.changeLamp("3", R"({"on":true,"bri":10})");
    json reply = call("PUT", "groups/1/action", R"({"bri":99,"hue":1234})");
    EXPECT_EQ(reply[0]["success"]["/groups/1/action/bri"], 99);
    EXPECT_EQ(call("GET", "lights/1")["state"]["bri"], 99);
    EXPECT_EQ(call("GET", "lights/2")["state"]["hue"], 1234);
    EXPECT_EQ(call("GET", "lights/3")["state"]["bri"], 10);
}

TEST_F(SimGroups, GroupZeroSwitchesEveryLampAndOffMembersIgnoreColour) {
    call("PUT", "groups/0/action", R"({"on":false})");
    for (int id = 1; id <= 5; ++id) EXPECT_EQ(call("GET", "lights/" + std::to_string(id))["state"]["on"], false);

    json reply = call("PUT", "groups/0/action", R"({"bri":40})");
    EXPECT_TRUE(reply[0].contains("success"));
    EXPECT_NE(call("GET", "lights/1")["state"]["bri"], 40);

    call("PUT", "groups/0/action", R"({"on":true,"bri":40})");
    for (int id = 1; id <= 5; ++id) {
        json state = call("GET", "lights/" + std::to_string(id))["state"];
        EXPECT_EQ(state["on"], true);
        EXPECT_EQ(state["bri"], 40);
    }
}

TEST_F(SimGroups, AGroupActionWithATransitionMovesEveryMember) {
    bridge.setClock(tuesdayAt("20:00:00"));
    call("PUT", "groups/0/action", R"({"on":true,"bri":0})");
    call("PUT", "groups/2/action", R"({"bri":100,"transitiontime":20})");
    bridge.advanceClock(1);
    for (const char* id : {"3", "4", "5"}) EXPECT_EQ(call("GET", std::string("lights/") + id)["state"]["bri"], 50);
    EXPECT_EQ(call("GET", "lights/1")["state"]["bri"], 0);
}

}  // namespace
}  // namespace glowmere::testing
