// Which bridge gets the user name, and how it is reached: the real client
// against simulated bridges that move, are replaced, and speak HTTPS.
#include <gtest/gtest.h>

#include <memory>

#include "bridge/BridgeBridge.h"
#include "platform/Log.h"
#include "support/SimulatedBridge.h"
#include "support/TempDir.h"

namespace glowmere {
namespace {

using testing::SimulatedBridge;
using Kind = RequestFailure::Kind;

constexpr const char* pairedId = "gmmove0001";

class BridgeLinkTest : public ::testing::Test {
protected:
    BridgeLinkTest() {
        clock.setAutoAdvance(true);
        bridge.setVerifiesBridge(true);
        bridge.setLocalSearch(&search);
        // Searches stay on this machine: a port nobody answers unless a test says otherwise.
        defaults.setObject("ssdpAddress", "127.0.0.1:1");
    }

    // A bridge keeping its house (and its users) in this test's state file.
    // It answers searches on its own host.
    std::unique_ptr<SimulatedBridge> start(std::string id, std::string listen = "127.0.0.1:0", std::string tls = "",
                                           std::string keyFile = "") {
        SimulatedBridge::Options options;
        options.bridgeId = std::move(id);
        options.ssdp = listen.substr(0, listen.rfind(':')) + ":0";
        options.listen = std::move(listen);
        options.tls = std::move(tls);
        options.tlsKeyFile = std::move(keyFile);
        options.stateFile = (dir.path() / "bridge.json").string();
        options.linkButton = "pressed";
        options.user = "";
        return std::make_unique<SimulatedBridge>(options);
    }
    // Pairs with `sim` at `address` as a user would (link button pressed).
    void pair(SimulatedBridge& sim, const std::string& address) {
        bridge.setBridgeIP(address);
        ASSERT_TRUE(bridge.logIn());
        ASSERT_TRUE(bridge.lightsArray());
        sim.clearRequestLog();
    }
    bool sentTheUserName(SimulatedBridge& sim) {
        const std::string name = defaults.stringForKey("username");
        for (const auto& r : sim.requestLog())
            if (r.path.find(name) != std::string::npos) return true;
        return false;
    }

    // The real search over loopback UDP, waiting a tenth of the time.
    struct QuickSearch final : platform::LocalSearch {
        std::vector<platform::LocalSearchReply> search(const std::string& target, std::chrono::milliseconds) override {
            return real.search(target, std::chrono::milliseconds(300));
        }
        platform::SsdpSearch real;
    } search;
    testing::TempDir dir;
    platform::LogCapture log;
    platform::CurlHttpClient http;
    platform::DefaultsStore defaults;
    platform::FakeClock clock;
    BridgeBridge bridge{http, defaults, clock};
};

TEST_F(BridgeLinkTest, PairingStoresTheBridgeIdAndPlainHttpStaysUnencrypted) {
    auto sim = start(pairedId);
    // No scheme: HTTPS on port 443 of the host first (refused at once on
    // this machine), then HTTP at the address as written.
    pair(*sim, sim->address());
    EXPECT_EQ(defaults.stringForKey("bridgeid"), pairedId);
    EXPECT_FALSE(defaults.hasStoredObject("bridgePublicKey"));
    EXPECT_EQ(bridge.encrypted(), false);
}

TEST_F(BridgeLinkTest, ABridgeThatMovedIsFollowedWithoutPairingAgain) {
    auto sim = start(pairedId);
    pair(*sim, sim->address());
    const std::string before = sim->address();
    sim->stop();
    sim = start(pairedId);  // the same bridge, its users kept, at a new port
    defaults.setObject("ssdpAddress", "127.0.0.1:" + std::to_string(sim->ssdpPort()));

    EXPECT_FALSE(bridge.lightsArray()) << "a whole cycle without an answer first";
    ASSERT_TRUE(bridge.followMovedBridge());
    EXPECT_TRUE(bridge.lightsArray());
    EXPECT_EQ(bridge.bridgeIP(), sim->address());
    EXPECT_EQ(defaults.stringForKey("lastusedbridgeIP"), sim->address());
    EXPECT_TRUE(log.contains("the bridge moved from " + before + " to " + sim->address()));
    for (const auto& r : sim->requestLog()) EXPECT_NE(r.method + " " + r.path, "POST /api") << "paired again";
}

// Both simulators run on this machine, so the bridge moves from 127.0.0.1 to
// 127.0.0.2 (loopback too: all of 127/8 is this host) and keeps its HTTPS
// port and key, as a bridge does when the router gives it a new address.
// The search names its plain HTTP port only; HTTPS is on neither 443 nor that.
TEST_F(BridgeLinkTest, APinnedBridgeThatMovedIsFoundOnItsOwnHttpsPortAtTheNewAddress) {
    const std::string key = (dir.path() / "bridge-key.pem").string();
    auto sim = start(pairedId, "127.0.0.1:0", "127.0.0.1:0", key);
    pair(*sim, sim->tlsAddress());
    const std::string pin = defaults.stringForKey("bridgePublicKey");
    const std::string before = sim->tlsAddress();
    const std::string port = std::to_string(sim->tlsPort());
    sim->stop();
    sim = start(pairedId, "127.0.0.2:0", "127.0.0.2:" + port, key);
    defaults.setObject("ssdpAddress", "127.0.0.2:" + std::to_string(sim->ssdpPort()));

    EXPECT_FALSE(bridge.lightsArray());
    ASSERT_TRUE(bridge.followMovedBridge());
    const std::string after = "https://127.0.0.2:" + port;
    EXPECT_EQ(bridge.bridgeIP(), after);
    EXPECT_EQ(defaults.stringForKey("lastusedbridgeIP"), after);
    EXPECT_TRUE(log.contains("the bridge moved from " + before + " to " + after));
    EXPECT_TRUE(bridge.lightsArray());
    EXPECT_EQ(bridge.encrypted(), true);
    EXPECT_EQ(defaults.stringForKey("bridgePublicKey"), pin);
    for (const auto& r : sim->requestLog()) EXPECT_NE(r.method + " " + r.path, "POST /api") << "paired again";

    // The same identity on that port of another host, with another key: the
    // pin still decides, and nothing goes past the handshake.
    sim->stop();
    sim = start(pairedId, "127.0.0.3:0", "127.0.0.3:" + port);
    defaults.setObject("ssdpAddress", "127.0.0.3:" + std::to_string(sim->ssdpPort()));
    sim->clearRequestLog();
    EXPECT_FALSE(bridge.followMovedBridge());
    EXPECT_EQ(bridge.bridgeIP(), after);
    EXPECT_FALSE(sentTheUserName(*sim));
}

TEST_F(BridgeLinkTest, AnotherBridgeAtTheOldAddressNeverGetsTheUserName) {
    auto sim = start(pairedId);
    pair(*sim, sim->address());
    const std::string address = sim->address();
    sim->stop();
    // Another bridge takes the address; it even knows the same user name.
    SimulatedBridge::Options other;
    other.listen = address;
    other.bridgeId = "gmother0002";
    other.user = defaults.stringForKey("username");
    SimulatedBridge stranger(other);
    stranger.clearRequestLog();

    std::vector<BridgeBridge::LinkEvent> events;
    bridge.setLinkObserver(
        [&](BridgeBridge::LinkEvent event, const std::string&, const std::string&) { events.push_back(event); });
    EXPECT_FALSE(bridge.lightsArray());
    EXPECT_FALSE(bridge.sendPUTRequestToUrl(Value::map({{"on", "true"}}), "lights/1/state"));
    EXPECT_EQ(bridge.lastFailure()->kind, Kind::OtherBridge);
    EXPECT_FALSE(sentTheUserName(stranger));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), BridgeBridge::LinkEvent::OtherBridge);

    // Pairing with it instead forgets the old identity and waits for its button.
    bridge.pairWithBridgeAtAddress();
    EXPECT_TRUE(bridge.pairingNeeded());
    EXPECT_FALSE(defaults.hasStoredObject("bridgeid"));
    EXPECT_FALSE(sentTheUserName(stranger));
}

TEST_F(BridgeLinkTest, HttpsPinsTheKeyAtPairingAndRefusesANewOneUntilTrusted) {
    auto sim = start(pairedId, "127.0.0.1:0", "127.0.0.1:0");
    pair(*sim, sim->tlsAddress());
    const std::string pin = defaults.stringForKey("bridgePublicKey");
    EXPECT_EQ(pin.rfind("sha256//", 0), 0u) << pin;
    EXPECT_EQ(bridge.encrypted(), true);
    EXPECT_EQ(defaults.stringForKey("lastusedbridgeIP"), "") << "set by whoever stores the address, not pairing";

    // The bridge was reset: same identity and address, a new key.
    const std::string secure = "127.0.0.1:" + std::to_string(sim->tlsPort());
    sim->stop();
    sim = start(pairedId, "127.0.0.1:0", secure);
    sim->clearRequestLog();
    EXPECT_FALSE(bridge.lightsArray());
    EXPECT_EQ(bridge.lastFailure()->kind, Kind::KeyChanged);
    EXPECT_TRUE(sim->requestLog().empty()) << "nothing past the handshake";
    EXPECT_EQ(defaults.stringForKey("bridgePublicKey"), pin) << "never silently accepted";

    ASSERT_EQ(bridge.trustNewCertificate(), std::nullopt);
    EXPECT_NE(defaults.stringForKey("bridgePublicKey"), pin);
    EXPECT_TRUE(bridge.lightsArray());
    EXPECT_TRUE(sentTheUserName(*sim));
}

}  // namespace
}  // namespace glowmere
