#include <gtest/gtest.h>

#include "bridge/BridgeBridge.h"
#include "platform/Log.h"
#include "support/SimulatedBridge.h"

namespace glowmere {
namespace {

using testing::SimRequest;
using testing::SimulatedBridge;

// The real client over loopback against the simulated bridge; login's pauses
// run on a fake clock that jumps to each deadline.
class BridgeOnSimTest : public ::testing::Test {
protected:
    explicit BridgeOnSimTest(SimulatedBridge::Options options = {}) : sim(options) {
        clock.setAutoAdvance(true);
        if (!sim.user().empty()) defaults.setObject("username", sim.user());
        bridge.setBridgeIP(sim.address());
        sim.clearRequestLog();
    }

    // "METHOD path body" of what reached the bridge, under the user's root,
    // once the paced commands have all gone out.
    std::vector<std::string> wire() {
        bridge.waitForCommands();
        std::vector<std::string> out;
        const std::string root = "/api/" + defaults.stringForKey("username") + "/";
        for (const auto& r : sim.requestLog()) {
            std::string path = r.path.rfind(root, 0) == 0 ? r.path.substr(root.size()) : r.path;
            out.push_back(r.method + " " + path + (r.body.empty() ? "" : " " + r.body));
        }
        return out;
    }

    SimulatedBridge sim;
    platform::LogCapture log;
    platform::CurlHttpClient http;
    platform::DefaultsStore defaults;
    platform::FakeClock clock;
    BridgeBridge bridge{http, defaults, clock};
};

TEST_F(BridgeOnSimTest, SwitchingAndFadesSendTheirExactRequests) {
    struct Case {
        const char* what;
        std::function<void(BridgeBridge&)> call;
        std::vector<std::string> requests;
    } cases[] = {
        {"switch on with brightness 200.7",
         [](BridgeBridge& b) {
             b.sendSettingsToLamp(Value::map({{"onoff", true}, {"brightness", 200.7}}), "1");
         },
         {R"(PUT lights/1/state {"on":true})", R"(PUT lights/1/state {"bri":200,"on":true})"}},
        {"dusk over half a minute",
         [](BridgeBridge& b) { b.startFalseDuskForLampWithTransition("2", 0.5); },
         {R"(PUT lights/2/state {"on":false,"transitiontime":300})"}},
        {"group dusk",
         [](BridgeBridge& b) { b.startFalseDuskForGroupWithTransition("1", 10); },
         {R"(PUT groups/1/action {"on":false,"transitiontime":6000})"}},
        {"lamp dawn",
         [](BridgeBridge& b) { b.startFalseDawnForLampWithTransition("3", 1); },
         {R"(PUT lights/3/state {"on":true})", R"(PUT lights/3/state {"bri":0,"transitiontime":0})",
          R"(PUT lights/3/state {"bri":255,"transitiontime":600})"}},
        {"group dawn",
         [](BridgeBridge& b) { b.startFalseDawnForGroupWithTransition("2", 2); },
         {R"(PUT groups/2/action {"on":true})", R"(PUT groups/2/action {"bri":255,"transitiontime":1200})"}},
        {"all off", [](BridgeBridge& b) { b.allOn(false); }, {R"(PUT groups/0/action {"on":false})"}},
        {"rename", [](BridgeBridge& b) { b.renameLampNewName("5", "Küche"); }, {R"(PUT lights/5 {"name":"Küche"})"}},
    };
    for (const auto& c : cases) {
        sim.clearRequestLog();
        const auto failed = bridge.failedRequests();
        c.call(bridge);
        EXPECT_EQ(wire(), c.requests) << c.what;
        EXPECT_EQ(bridge.failedRequests(), failed) << c.what;
    }
}

TEST_F(BridgeOnSimTest, ListsReadWhatTheBridgeHolds) {
    auto lamps = bridge.lightsArray();
    ASSERT_TRUE(lamps);
    ASSERT_EQ(lamps->size(), 5u);
    EXPECT_EQ(lamps->at(1)["label"], Value("Küche"));
    EXPECT_FALSE(lamps->at(3).contains("colour"));  // lamp 4 is white only
    EXPECT_TRUE(lamps->at(0).contains("colour"));
    EXPECT_EQ(lamps->at(0)["onoff"], Value(true));
    EXPECT_EQ(wire(), std::vector<std::string>{"GET lights"}) << "the list holds every lamp's state";

    auto groups = bridge.groupsArray();
    ASSERT_TRUE(groups);
    ASSERT_EQ(groups->size(), 2u);
    EXPECT_EQ(groups->at(0)["label"], Value("Downstairs"));
    auto all = bridge.settingsForGroup("0");
    ASSERT_TRUE(all);
    EXPECT_EQ((*all)["id"], Value("0"));
    EXPECT_FALSE(bridge.settingsForGroup("77"));
}

TEST_F(BridgeOnSimTest, GroupsAreMadeWithTheirMemberListAndTheirMembersReadFromTheLampList) {
    struct Strip : LampIdentifying {
        explicit Strip(std::string i) : id(std::move(i)) {}
        std::string getID() const override { return id; }
        std::string id;
    } one("1"), three("3");
    bridge.makeGroupNamed({&one, &three}, "Den");
    ASSERT_EQ(wire(), (std::vector<std::string>{R"(POST groups {"lights":["1","3"],"name":"Den"})"}));
    auto groups = bridge.groupsArray();
    ASSERT_TRUE(groups);
    ASSERT_EQ(groups->size(), 3u);
    EXPECT_EQ(groups->at(2)["label"], Value("Den"));

    sim.userRequest("PUT", "groups/3", R"({"lights":["1","1","2"]})");
    sim.clearRequestLog();
    auto members = bridge.lightsArrayForGroup("3");
    ASSERT_TRUE(members);
    ASSERT_EQ(members->size(), 2u);
    EXPECT_EQ(members->at(0)["id"], Value("1"));
    EXPECT_EQ(members->at(1)["id"], Value("2"));
    EXPECT_EQ(wire(), (std::vector<std::string>{"GET groups/3", "GET lights"}));

    bridge.removeGroupNamed("3");
    EXPECT_EQ(bridge.groupsArray()->size(), 2u);
}

class UnpairedOnSimTest : public BridgeOnSimTest {
protected:
    UnpairedOnSimTest()
        : BridgeOnSimTest([] {
              SimulatedBridge::Options unpaired;
              unpaired.user = "";
              return unpaired;
          }()) {}
};

TEST_F(UnpairedOnSimTest, LinkButtonPressedDuringTheFifthWaitLogsInAtTheSixthAttempt) {
    bridge.setLoginObserver([&](int attempt) {
        if (attempt == 6) sim.pressLinkButton();
    });
    EXPECT_TRUE(bridge.logIn());
    const auto requests = sim.requestLog();
    ASSERT_EQ(requests.size(), 6u);
    for (const auto& r : requests) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path, "/api");
        EXPECT_EQ(r.body, R"({"devicetype":"org.glowmere.Glowmere"})");
    }
    ASSERT_TRUE(bridge.getUsername());
    EXPECT_EQ(log.count("Bridge Error: link button not pressed"), 5u);
    EXPECT_TRUE(bridge.lightsArray());
}

TEST_F(UnpairedOnSimTest, BridgeSwitchedOffDuringLoginGivesOneAttempt) {
    sim.stop();
    EXPECT_FALSE(bridge.logIn());
    EXPECT_EQ(log.count("unable to communicate with Bridge"), 1u);
    EXPECT_FALSE(bridge.sendGETRequestToUrl("lights"));
}

TEST_F(BridgeOnSimTest, UnauthorizedMidRunPairsAgainWithoutARestart) {
    ASSERT_TRUE(bridge.lightsArray());
    sim.makeUnauthorized(sim.user());
    EXPECT_FALSE(bridge.sendGETRequestToUrl("lights"));
    EXPECT_TRUE(log.containsSubstring("Bridge Error: unauthorized"));
    EXPECT_FALSE(bridge.getUsername());

    bridge.setLoginObserver([&](int attempt) {
        if (attempt == 2) sim.pressLinkButton();
    });
    log.clear();
    sim.clearRequestLog();
    bridge.lampOn("1", false);
    EXPECT_TRUE(log.contains("we don't have a username"));
    EXPECT_FALSE(log.contains("we still don't have a username"));
    auto name = bridge.getUsername();
    ASSERT_TRUE(name);
    EXPECT_NE(*name, sim.user());
    auto requests = sim.requestLog();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].path, "/api/" + *name + "/lights/1/state");
    EXPECT_TRUE(bridge.lightsArray());
}

TEST_F(BridgeOnSimTest, FaultsOnTheWireAreFailuresWithoutDamage) {
    sim.closeWithoutReply(1, "lights/1/state");
    EXPECT_FALSE(bridge.sendPUTRequestToUrl(Value::map({{"on", "true"}}), "lights/1/state"));
    EXPECT_TRUE(log.contains("no response from Bridge"));
    // An error page is a failure too, with its status.
    sim.errorPage(1, "lights/2/state");
    EXPECT_FALSE(bridge.sendPUTRequestToUrl(Value::map({{"on", "true"}}), "lights/2/state"));
    EXPECT_EQ(bridge.lastFailure()->status, 500);
    EXPECT_TRUE(log.contains("Bridge answered HTTP 500 to PUT lights/2/state"));
    sim.nonAsciiReply(1, "lights/2");
    auto reply = bridge.sendGETRequestToUrl("lights/2");
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->find("\xef\xbf\xbd"), std::string::npos);  // the Latin-1 byte became U+FFFD
}

}  // namespace
}  // namespace glowmere
