#include <gtest/gtest.h>

#include "BridgeFixture.h"

namespace glowmere::bridgetest {
namespace {

class BridgeListsTest : public BridgeBridgeTest {
protected:
    BridgeListsTest() { paired(); }
};

TEST_F(BridgeListsTest, LampsBecomeRecordsAndLampsWithoutBrightnessAreLeftOut) {
    http.reply("GET", "alice/lights", R"({"1":{"name":"Desk"},"2":{"name":"Hall"},"10":{"name":"Porch"}})");
    http.reply(
        "GET", "alice/lights/1",
        R"({"state":{"on":true,"bri":254,"hue":10000,"sat":144,"xy":[0.3,0.4]},"type":"Extended color light","name":"Desk"})");
    http.reply("GET", "alice/lights/2", R"({"state":{"on":false,"reachable":true},"name":"Hall"})");
    http.reply("GET", "alice/lights/10", R"({"state":{"on":false,"bri":1},"name":"Porch"})");

    auto lamps = bridge.lightsArray();
    ASSERT_TRUE(lamps);
    ASSERT_EQ(lamps->size(), 2u);
    const Value& desk = lamps->at(0);
    EXPECT_EQ(desk["brightness"], Value("254.00"));
    EXPECT_EQ(desk["colour"], Value("10000.00"));
    EXPECT_EQ(desk["saturation"], Value("144.00"));
    EXPECT_EQ(desk["onoff"], Value(true));
    EXPECT_EQ(desk["id"], Value("1"));
    EXPECT_EQ(desk["label"], Value("Desk"));
    EXPECT_EQ(desk["type"], Value("Extended color light"));  // carried along unread
    const Value& porch = lamps->at(1);
    EXPECT_EQ(porch["id"], Value("10"));
    EXPECT_EQ(porch["onoff"], Value(false));
    EXPECT_FALSE(porch.contains("colour"));
    EXPECT_FALSE(porch.contains("saturation"));
    EXPECT_TRUE(log.contains(
        R"(lightsArray dipping out, strAttributessForThisLamp is {"state":{"on":false,"reachable":true},"name":"Hall"})"));
}

TEST_F(BridgeListsTest, ListRequestIsTriedTwiceAndALampThatFailsIsSkipped) {
    http.reply("GET", "alice/lights", R"({"1":{},"2":{}})");
    http.fail("GET", "alice/lights", 1);
    http.reply("GET", "alice/lights/2", R"({"state":{"on":true,"bri":3},"name":"b"})");
    auto lamps = bridge.lightsArray();
    ASSERT_TRUE(lamps);
    ASSERT_EQ(lamps->size(), 1u);
    EXPECT_EQ(lamps->at(0)["id"], Value("2"));
    EXPECT_EQ(http.count("GET", "alice/lights"), 2u);
    EXPECT_FALSE(log.containsSubstring("dipping out"));

    http.clearRules();
    http.clearRequests();
    EXPECT_FALSE(bridge.lightsArray());
    EXPECT_EQ(http.requests().size(), 2u);
}

TEST_F(BridgeListsTest, BridgeWithoutLampsGivesAnEmptyList) {
    http.reply("GET", "alice/lights", "{}");
    auto lamps = bridge.lightsArray();
    ASSERT_TRUE(lamps);
    EXPECT_TRUE(lamps->isList());
    EXPECT_EQ(lamps->size(), 0u);
}

TEST_F(BridgeListsTest, GroupsWithoutBrightnessAreLeftOutSilently) {
    http.reply("GET", "alice/groups", R"({"1":{"name":"Den"},"2":{"name":"Odd"}})");
    http.reply("GET", "alice/groups/1", R"({"action":{"on":true,"bri":100,"hue":5},"lights":["1","3"],"name":"Den"})");
    http.reply("GET", "alice/groups/2", R"({"action":{"on":true},"lights":[],"name":"Odd"})");
    auto groups = bridge.groupsArray();
    ASSERT_TRUE(groups);
    ASSERT_EQ(groups->size(), 1u);
    EXPECT_EQ(groups->at(0)["id"], Value("1"));
    EXPECT_EQ(groups->at(0)["brightness"], Value("100.00"));
    EXPECT_EQ(groups->at(0)["colour"], Value("5.00"));
    EXPECT_EQ(groups->at(0)["onoff"], Value(true));
    EXPECT_EQ(groups->at(0)["label"], Value("Den"));
    EXPECT_FALSE(log.containsSubstring("dipping out"));
}

TEST(BridgeMemberIdentifiers, SplitsTheMemberListText) {
    struct Case {
        const char* text;
        std::vector<std::string> ids;
    } cases[] = {
        {R"(["1","2"])", {"1", "2"}},
        {R"(["1","1","2"])", {"1", "2"}},
        {R"(["3","1")", {"3", "1"}},  // last member: the closing bracket is lost
        {R"([ "4" , "5" ])", {"4", "5"}},
        {"[]", {}},
        {"", {}},
        {R"(["",,"7"])", {"7"}},
    };
    for (const auto& c : cases) EXPECT_EQ(BridgeBridge::memberIdentifiers(c.text), c.ids) << c.text;
}

TEST_F(BridgeListsTest, GroupMembersAreReadOnceEachInOrderFromTheLampList) {
    // "lights" is the last member, so the reader has dropped its bracket.
    http.reply("GET", "alice/groups/4", R"({"name":"G","lights":["2","1","2"]})");
    http.reply(
        "GET", "alice/lights",
        R"({"1":{"state":{"on":true,"bri":10},"name":"one"},"2":{"state":{"on":false,"bri":20,"sat":7},"name":"two"},)"
        R"("3":{"state":{"on":false,"bri":30},"name":"three"}})");
    auto lamps = bridge.lightsArrayForGroup("4");
    ASSERT_TRUE(lamps);
    ASSERT_EQ(lamps->size(), 2u);
    EXPECT_EQ(lamps->at(0)["id"], Value("2"));
    EXPECT_EQ(lamps->at(0)["onoff"], Value("false"));  // the bridge's own text
    EXPECT_EQ(lamps->at(0)["saturation"], Value("7.00"));
    EXPECT_EQ(lamps->at(1)["id"], Value("1"));
    EXPECT_EQ(lamps->at(1)["label"], Value("one"));
    EXPECT_EQ(http.requests().size(), 2u) << "the group, then the lamp list";

    http.clearRules();
    EXPECT_FALSE(bridge.lightsArrayForGroup("4"));
}

TEST_F(BridgeListsTest, WholeRecordsInTheListTakeOneRequest) {
    http.reply("GET", "alice/lights",
               R"({"1":{"state":{"on":true,"bri":254,"hue":10000,"sat":144},"name":"Desk"},)"
               R"("2":{"state":{"on":false,"reachable":true},"name":"Hall"},"3":{"name":"Old"}})");
    http.reply("GET", "alice/lights/3", R"({"state":{"on":true,"bri":3},"name":"Old"})");
    http.reply("GET", "alice/groups",
               R"({"1":{"name":"Den","lights":["1"],"action":{"bri":50,"hue":3}},)"
               R"("2":{"name":"Up","lights":["2"],"action":{"on":true}},"3":{"name":"Named only"}})");
    http.reply("GET", "alice/groups/3", R"({"name":"Named only","lights":["1","3"],"action":{"on":true,"bri":9}})");

    auto lamps = bridge.lightsArray();
    ASSERT_TRUE(lamps);
    ASSERT_EQ(lamps->size(), 2u);
    EXPECT_EQ(lamps->at(0)["colour"], Value("10000.00"));
    EXPECT_EQ(lamps->at(0)["label"], Value("Desk"));
    EXPECT_EQ(lamps->at(1)["id"], Value("3")) << "a member listed by name only is read by itself";
    EXPECT_TRUE(log.containsSubstring("lightsArray dipping out, strAttributessForThisLamp is {"));

    auto groups = bridge.groupsArray();
    ASSERT_TRUE(groups);
    ASSERT_EQ(groups->size(), 2u) << "a group without brightness is left out";
    EXPECT_EQ(groups->at(0)["onoff"], Value(false)) << "a group whose action has no \"on\" is off";
    EXPECT_EQ(groups->at(0)["brightness"], Value("50.00"));
    EXPECT_EQ(groups->at(1)["id"], Value("3"));
    EXPECT_EQ(groups->at(1)["brightness"], Value("9.00"));
    EXPECT_EQ(wire(), (std::vector<std::string>{"GET lights", "GET lights/3", "GET groups", "GET groups/3"}));
}

TEST_F(BridgeListsTest, AHugeListIsRefusedAndATimeOutEndsTheReading) {
    std::string huge = "{";
    for (int i = 1; i <= 1001; ++i) huge += (i > 1 ? ",\"" : "\"") + std::to_string(i) + "\":{\"name\":\"x\"}";
    http.reply("GET", "alice/lights", huge + "}");
    EXPECT_FALSE(bridge.lightsArray());
    EXPECT_EQ(bridge.lastFailure()->kind, RequestFailure::Kind::TooManyMembers);
    EXPECT_EQ(http.requests().size(), 1u);

    http.clearRequests();
    http.reply("GET", "alice/lights", R"({"1":{"name":"a"},"2":{"name":"b"},"3":{"name":"c"}})");
    http.reply("GET", "alice/lights/1", R"({"state":{"on":true,"bri":3},"name":"a"})");
    http.timeOut("GET", "alice/lights/2");
    EXPECT_FALSE(bridge.lightsArray());
    EXPECT_EQ(bridge.lastFailure()->kind, RequestFailure::Kind::TimedOut);
    EXPECT_EQ(wire(), (std::vector<std::string>{"GET lights", "GET lights/1", "GET lights/2"}));

    // A list that timed out is not asked for a second time.
    http.clearRequests();
    http.timeOut("GET", "alice/lights");
    EXPECT_FALSE(bridge.lightsArray());
    EXPECT_EQ(http.requests().size(), 1u);
}

TEST_F(BridgeListsTest, SettingsForGroupNeedNoMembers) {
    http.reply("GET", "alice/groups/0", R"({"name":"All","action":{"on":true,"bri":5}})");
    http.reply("GET", "alice/groups/9", R"({"action":{"on":false}})");
    http.reply("GET", "alice/groups/8",
               R"([{"error":{"type":3,"address":"/groups/8","description":"resource, /groups/8, not available"}}])");
    auto all = bridge.settingsForGroup("0");
    ASSERT_TRUE(all);
    EXPECT_FALSE(all->contains("colour"));
    EXPECT_EQ((*all)["brightness"], Value("5.00"));
    EXPECT_EQ((*all)["onoff"], Value("true"));
    EXPECT_EQ((*all)["id"], Value("0"));
    EXPECT_EQ((*all)["label"], Value("All"));
    auto nameless = bridge.settingsForGroup("9");
    ASSERT_TRUE(nameless);
    EXPECT_FALSE(nameless->contains("brightness"));
    EXPECT_FALSE(nameless->contains("label"));
    EXPECT_FALSE(bridge.settingsForGroup("8"));
}

}  // namespace
}  // namespace glowmere::bridgetest
