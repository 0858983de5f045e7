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
        FailureRecorder failures(bridge);
        c.call(bridge);
        EXPECT_EQ(wire(), c.requests) << c.what;
        EXPECT_TRUE(failures.empty()) << c.what;
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

TEST_F(BridgeOnSimTest, UnauthorizedKeepsTheNameAndOnlyANewPairingReplacesIt) {
    ASSERT_TRUE(bridge.lightsArray());
    sim.makeUnauthorized(sim.user());
    EXPECT_FALSE(bridge.sendGETRequestToUrl("lights"));
    EXPECT_TRUE(log.containsSubstring("Bridge Error: unauthorized"));
    EXPECT_EQ(bridge.getUsername(), sim.user());
    EXPECT_TRUE(bridge.pairingNeeded());

    // Without pairing on demand (the command-line tool) a request ends at
    // once, sends nothing, and the name stays.
    bridge.setPairsOnDemand(false);
    sim.clearRequestLog();
    EXPECT_FALSE(bridge.sendGETRequestToUrl("lights"));
    EXPECT_EQ(bridge.lastFailure()->kind, RequestFailure::Kind::NotPaired);
    EXPECT_TRUE(sim.requestLog().empty());

    // A pairing nobody answers keeps the name too.
    bridge.setPairsOnDemand(true);
    EXPECT_FALSE(bridge.logIn());
    EXPECT_EQ(bridge.getUsername(), sim.user());
    EXPECT_TRUE(bridge.pairingNeeded());

    // The application pairs again on the next request, without a restart.
    bridge.allowLogin();
    bridge.setLoginObserver([&](int attempt) {
        if (attempt == 2) sim.pressLinkButton();
    });
    sim.clearRequestLog();
    bridge.lampOn("1", false);
    auto name = bridge.getUsername();
    ASSERT_TRUE(name);
    EXPECT_NE(*name, sim.user());
    EXPECT_FALSE(bridge.pairingNeeded());
    auto requests = sim.requestLog();
    ASSERT_EQ(requests.size(), 3u) << "two login attempts, then the command";
    EXPECT_EQ(requests[2].path, "/api/" + *name + "/lights/1/state");
    EXPECT_TRUE(bridge.lightsArray());
}

// What discovery believes: the portal's answer and the local network's.
class DiscoveryOnSimTest : public BridgeOnSimTest {
protected:
    DiscoveryOnSimTest()
        : BridgeOnSimTest([] {
              SimulatedBridge::Options spoofing;
              spoofing.ssdp = "127.0.0.2:0";
              return spoofing;
          }()) {
        bridge.setBridgeIP(std::nullopt);
        bridge.setLocalSearch(&search);
        // Searches stay on this machine: a port nobody answers unless a test says otherwise.
        defaults.setObject("ssdpAddress", "127.0.0.1:1");
    }
    // Whether anything carrying the user name reached the simulator.
    bool credentialSent() {
        for (const auto& r : sim.requestLog())
            if (r.path.find(sim.user()) != std::string::npos) return true;
        return false;
    }

    // The real search over loopback UDP, waiting a tenth of the time.
    struct QuickSearch final : platform::LocalSearch {
        std::vector<platform::LocalSearchReply> search(const std::string& target, std::chrono::milliseconds) override {
            return real.search(target, std::chrono::milliseconds(300));
        }
        platform::SsdpSearch real;
    } search;
};

// The real client, with the portal's answer replaced.
class PortalSays final : public platform::HttpClient {
public:
    std::string address;
    std::optional<platform::HttpResponse> send(const platform::HttpRequest& request,
                                               platform::HttpError* error) override {
        auto response = real_.send(request, error);
        if (response && request.url.ends_with("/api/nupnp"))
            response->body = R"([{"id":"001788fffe000001","internalipaddress":")" + address + R"("}])";
        return response;
    }

private:
    platform::CurlHttpClient real_;
};

TEST_F(DiscoveryOnSimTest, APortalAnswerIsUsedOnlyWhenItIsAPlainAddressWhereABridgeAnswers) {
    const std::string port = std::to_string(sim.port());
    const struct {
        const char* what;
        std::string address;
        bool used;
    } cases[] = {
        {"the bridge's address", sim.address(), true},
        {"a path and query", sim.address() + "/x?", false},
        {"another host behind @", "portal.invalid@" + sim.address(), false},
        {"a scheme", "http://" + sim.address(), false},
        {"a space", "127.0.0.1 :" + port, false},
        {"port 0", "127.0.0.1:0", false},
        {"port 65536", "127.0.0.1:65536", false},
        {"a plain address where no bridge answers", "127.0.0.1:1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PortalSays portal;
        portal.address = c.address;
        platform::DefaultsStore store;
        store.setObject("username", sim.user());
        store.setObject("discoveryPortal", "http://" + sim.address());
        BridgeBridge fresh{portal, store, clock};
        sim.clearRequestLog();
        fresh.lightsArray();
        EXPECT_EQ(fresh.bridgeIP(), c.used ? std::optional(c.address) : std::nullopt);
        EXPECT_EQ(store.stringForKey("lastusedbridgeIP"), c.used ? c.address : "");
        EXPECT_EQ(credentialSent(), c.used);
    }
}

TEST_F(DiscoveryOnSimTest, ASearchAnswerNamingAnotherHostIsNotBelieved) {
    // The simulator is a bridge at 127.0.0.1 and answers searches from
    // 127.0.0.2, naming its address: as a spoofing host would.
    const std::string spoof = "127.0.0.2:" + std::to_string(sim.ssdpPort());
    defaults.setObject("ssdpAddress", spoof);
    EXPECT_FALSE(bridge.lightsArray());
    EXPECT_EQ(bridge.lastFailure()->kind, RequestFailure::Kind::NoAddress);
    EXPECT_TRUE(sim.requestLog().empty()) << "not even asked whether it is a bridge";
    EXPECT_FALSE(defaults.hasObject("lastusedbridgeIP"));
    EXPECT_TRUE(log.containsSubstring("a search answer from 127.0.0.2 names http://" + sim.address()));
    EXPECT_TRUE(bridge.findBridges(spoof).empty());
}

TEST_F(BridgeOnSimTest, FaultsOnTheWireAreFailuresWithoutDamage) {
    const Value on = Value::map({{"on", "true"}});
    sim.closeWithoutReply(1, "lights/1/state");
    auto reply = bridge.sendRequest("PUT", "lights/1/state", &on);
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.failure->kind, RequestFailure::Kind::NoReply);
    // An error page is a failure too, with its status.
    sim.errorPage(1, "lights/2/state");
    reply = bridge.sendRequest("PUT", "lights/2/state", &on);
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.failure->kind, RequestFailure::Kind::HttpStatus);
    EXPECT_EQ(reply.failure->method + " " + reply.failure->path + " " + std::to_string(reply.failure->status),
              "PUT lights/2/state 500");
    sim.nonAsciiReply(1, "lights/2");
    auto text = bridge.sendGETRequestToUrl("lights/2");
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\xef\xbf\xbd"), std::string::npos);  // the Latin-1 byte became U+FFFD
}

}  // namespace
}  // namespace glowmere
