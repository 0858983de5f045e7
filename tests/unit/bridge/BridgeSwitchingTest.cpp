#include <gtest/gtest.h>

#include "BridgeFixture.h"

namespace glowmere::bridgetest {
namespace {

class BridgeSwitchingTest : public BridgeBridgeTest {
protected:
    BridgeSwitchingTest() {
        paired();
        http.reply("PUT", "", R"([{"success":{}}])");
    }
};

TEST_F(BridgeSwitchingTest, SettingsRecordsBecomeOneOrTwoRequests) {
    struct Case {
        const char* what;
        Value record;
        std::vector<std::string> lamp;  // requests for lamp 7
    } cases[] = {
        {"nothing", Value::emptyMap(), {}},
        {"only a transition", Value::map({{"transitiontime", 4}}), {}},
        {"only onoff", Value::map({{"onoff", true}}), {R"(PUT lights/7/state {"on":true})"}},
        {"onoff as text", Value::map({{"onoff", "false"}}), {R"(PUT lights/7/state {"on":false})"}},
        {"onoff and transition",
         Value::map({{"onoff", false}, {"transitiontime", 2.5}}),
         {R"(PUT lights/7/state {"on":false,"transitiontime":25})"}},
        {"on with brightness 200.7",
         Value::map({{"onoff", true}, {"brightness", 200.7}}),
         {R"(PUT lights/7/state {"on":true})", R"(PUT lights/7/state {"bri":200,"on":true})"}},
        {"everything",
         Value::map({{"onoff", true},
                     {"brightness", 10},
                     {"colour", 40000.9},
                     {"saturation", 3},
                     {"transitiontime", "0.5"},
                     {"id", "9"},
                     {"label", "x"}}),
         {R"(PUT lights/7/state {"bri":10,"hue":40000,"on":true,"sat":3,"transitiontime":5})"}},
        {"colour only",
         Value::map({{"colour", 1}, {"transitiontime", 1}}),
         {R"(PUT lights/7/state {"hue":1,"transitiontime":10})"}},
        {"brightness text from the bridge is sent quoted",
         Value::map({{"brightness", "254.00"}}),
         {R"(PUT lights/7/state {"bri":"254.00"})"}},
    };
    for (const auto& c : cases) {
        http.clearRequests();
        bridge.sendSettingsToLamp(c.record, "7");
        EXPECT_EQ(wire(), c.lamp) << c.what;

        // Groups take the same steps on their action path.
        http.clearRequests();
        bridge.sendSettingsToGroup(c.record, "2");
        std::vector<std::string> group;
        for (auto line : c.lamp) group.push_back(line.replace(4, 14, "groups/2/action"));
        EXPECT_EQ(wire(), group) << c.what;
    }
}

TEST_F(BridgeSwitchingTest, RecordsOwnIdentifierPicksTheLamp) {
    bridge.sendSettingsToLamp(Value::map({{"id", "4"}, {"brightness", 1}}));
    EXPECT_EQ(wire(), (std::vector<std::string>{R"(PUT lights/4/state {"bri":1})"}));
}

TEST_F(BridgeSwitchingTest, FadeTimesBecomeWholeSecondsWithinRange) {
    struct Case {
        const char* what;
        std::function<void(BridgeBridge&)> call;
        std::vector<std::string> requests;
    } cases[] = {
        {"fraction of a second is dropped",
         [](BridgeBridge& b) { b.startFalseDuskForLampWithTransition("1", 0.0125); },
         {R"(PUT lights/1/state {"on":false,"transitiontime":0})"}},
        {"absurd minutes do not overflow",
         [](BridgeBridge& b) { b.startFalseDuskForGroupWithTransition("2", 1e300); },
         {R"(PUT groups/2/action {"on":false,"transitiontime":2147483647})"}},
    };
    for (const auto& c : cases) {
        http.clearRequests();
        c.call(bridge);
        EXPECT_EQ(wire(), c.requests) << c.what;
    }
}

TEST_F(BridgeSwitchingTest, ASequenceGoesOnAfterAFailedStep) {
    http.fail("PUT", "lights/3/state", 1);
    bridge.startFalseDawnForLampWithTransition("3", 1);
    EXPECT_EQ(wire().size(), 3u);
    EXPECT_EQ(log.count("no response from Bridge"), 1u);
}

}  // namespace
}  // namespace glowmere::bridgetest
