#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "BridgeFixture.h"
#include "support/TempDir.h"

namespace glowmere::bridgetest {
namespace {

// ---- Request layer ----

TEST_F(BridgeBridgeTest, AnErrorAsFirstResultAStatusOtherThan2xxOrNoJsonIsAFailure) {
    paired();
    using Kind = RequestFailure::Kind;
    struct Case {
        const char* reply;
        int status;
        std::optional<Kind> failure;
    } cases[] = {
        {R"([{"error":{"type":7,"address":"/x","description":"invalid value"}}])", 200, Kind::BridgeError},
        {R"([{"success":{"/lights/1/state/on":true}},{"error":{"type":7,"description":"bad"}}])", 200, {}},
        {"<html><body>500 Internal Server Error</body></html>", 500, Kind::HttpStatus},
        {"<html><body>Not found</body></html>", 200, Kind::NotJson},
        {R"({"state":{"on":true})", 200, Kind::NotJson},  // cut off on the way
        {"", 200, Kind::NotJson},
        {R"([{"success":{}}])", 404, Kind::HttpStatus},
        {R"([{"success":{}}])", 204, {}},
    };
    std::vector<RequestFailure> observed;
    bridge.observeFailures([&](const RequestFailure& f) { observed.push_back(f); });
    for (const auto& c : cases) {
        http.clearRules();
        for (const char* method : {"PUT", "GET"})
            http.handle(method, "", [&c](const platform::HttpRequest&) {
                return std::optional<platform::HttpResponse>(platform::HttpResponse{c.status, c.reply, {}});
            });
        observed.clear();
        EXPECT_EQ(bridge.sendPUTRequestToUrl(Value::map({{"on", "true"}}), "lights/1/state"), !c.failure) << c.reply;
        auto text = bridge.sendGETRequestToUrl("lights/1");
        EXPECT_EQ(text.has_value(), !c.failure) << c.reply;
        if (!c.failure) {
            EXPECT_EQ(*text, c.reply);
            EXPECT_TRUE(observed.empty());
            continue;
        }
        ASSERT_EQ(observed.size(), 2u) << c.reply;
        EXPECT_EQ(observed[1].kind, *c.failure) << c.reply;
        EXPECT_EQ(observed[1].method + " " + observed[1].path, "GET lights/1");
        EXPECT_EQ(observed[1].status, c.status);
        EXPECT_EQ(bridge.lastFailure()->kind, *c.failure);
    }
    EXPECT_EQ(log.count("Bridge Error: invalid value"), 2u);
    EXPECT_EQ(log.count("Bridge answered HTTP 500 to GET lights/1"), 1u);
    EXPECT_TRUE(defaults.hasObject("username"));
    EXPECT_EQ(bridge.answering(), std::optional<bool>(true));
}

TEST_F(BridgeBridgeTest, ACallerReadsItsOwnThreadsFailureNotAnothers) {
    paired();
    http.handle("GET", "lights/1", [](const platform::HttpRequest&) {
        return std::optional<platform::HttpResponse>(platform::HttpResponse{500, "<html>500</html>", {}});
    });
    std::thread([&] { EXPECT_FALSE(bridge.sendGETRequestToUrl("lights/1")); }).join();
    EXPECT_EQ(bridge.lastFailure()->kind, RequestFailure::Kind::HttpStatus);
    EXPECT_FALSE(bridge.lastFailureOnThisThread()) << "the failure was another thread's";

    EXPECT_FALSE(bridge.sendGETRequestToUrl("lights/1"));
    ASSERT_TRUE(bridge.lastFailureOnThisThread());
    EXPECT_EQ(bridge.lastFailureOnThisThread()->path, "lights/1");
}

TEST_F(BridgeBridgeTest, RepliesThatAreNotUtf8CannotCorruptText) {
    paired();
    http.reply("GET", "lights/1",
               std::string("{\"name\":\"K\xfc"
                           "che\"}"));
    http.reply("GET", "lights/2",
               "{\"name\":\"K\xc3\xbc"
               "che\"}");
    EXPECT_EQ(bridge.sendGETRequestToUrl("lights/1"),
              "{\"name\":\"K\xef\xbf\xbd"
              "che\"}");
    EXPECT_EQ(bridge.sendGETRequestToUrl("lights/2"),
              "{\"name\":\"K\xc3\xbc"
              "che\"}");
}

TEST_F(BridgeBridgeTest, WithoutAnyAddressEveryRequestGivesUpAtOnceWithoutAlert) {
    defaults.setObject("username", "alice");
    EXPECT_FALSE(bridge.sendPUTRequestToUrl(Value::emptyMap(), "lights/1/state"));
    EXPECT_FALSE(bridge.sendGETRequestToUrl("lights"));
    EXPECT_TRUE(http.requests().empty());  // no portal configured, nothing stored
    EXPECT_TRUE(alerts.shown().empty());
    EXPECT_EQ(log.count("no response from Portal API and no last used bridge IP"), 2u);
}

TEST_F(BridgeBridgeTest, UnauthorizedKeepsTheNameAndTheNextRequestPairsAgainInTheSameRun) {
    bridge.setBridgeIP("10.0.0.2");
    http.reply("POST", "10.0.0.2/api", R"([{"success":{"username":"alice"}}])");
    http.reply("GET", "alice/lights", "{}");
    ASSERT_TRUE(bridge.sendGETRequestToUrl("lights"));
    ASSERT_TRUE(bridge.loggedIn());

    http.reply("GET", "alice/lights", R"([{"error":{"type":1,"address":"/lights","description":"unauthorized user"}}])",
               1);
    EXPECT_FALSE(bridge.sendGETRequestToUrl("lights"));
    EXPECT_TRUE(log.contains("Bridge Error: unauthorized user"));
    EXPECT_EQ(defaults.stringForKey("username"), "alice");
    EXPECT_TRUE(bridge.pairingNeeded());

    // The bridge wants a new pairing: refuse twice, then the button is pressed.
    http.reply("POST", "10.0.0.2/api", R"([{"success":{"username":"bob"}}])");
    http.reply("POST", "10.0.0.2/api", linkButtonError, 2);
    http.reply("GET", "bob/lights", R"({"1":{"name":"a"}})");
    log.clear();
    EXPECT_EQ(bridge.sendGETRequestToUrl("lights"), R"({"1":{"name":"a"}})");
    EXPECT_FALSE(bridge.pairingNeeded());
    EXPECT_FALSE(log.contains("we still don't have a username"));
    EXPECT_EQ(log.count("Bridge Error: link button not pressed"), 2u);
    EXPECT_EQ(defaults.stringForKey("username"), "bob");
    EXPECT_EQ(http.count("POST", "10.0.0.2/api"), 4u);
}

TEST_F(BridgeBridgeTest, ConcurrentRequestsWithoutANameLogInOnce) {
    bridge.setBridgeIP("10.0.0.2");
    http.reply("POST", "10.0.0.2/api", R"([{"success":{"username":"alice"}}])");
    http.reply("GET", "alice/lights", "{}");
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            if (bridge.sendGETRequestToUrl("lights")) ++ok;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok, 4);
    EXPECT_EQ(http.count("POST", "10.0.0.2/api"), 1u);
}

// ---- Discovery ----

struct DiscoveryCase {
    const char* what;
    bool portalAnswers;
    const char* portalReply;
    const char* lastUsed;  // null: none stored
    std::optional<std::string> address;
    std::vector<std::string> logLines;
};

TEST_F(BridgeBridgeTest, DiscoveryTakesThePortalsAddressOrFallsBack) {
    const DiscoveryCase cases[] = {
        {"one bridge",
         true,
         R"([{"id":"a1","internalipaddress":"192.168.1.20"}])",
         "10.0.0.9",
         "192.168.1.20",
         {R"(response from portal is [{"id":"a1","internalipaddress":"192.168.1.20"}])", "Bridge IP: 192.168.1.20"}},
        {"two bridges: the last wins",
         true,
         R"([{"id":"a1","internalipaddress":"192.168.1.20"},{"id":"b2","internalipaddress":"192.168.1.21"}])",
         nullptr,
         "192.168.1.21",
         {R"(response from portal is [{"id":"a1","internalipaddress":"192.168.1.20"},{"id":"b2","internalipaddress":"192.168.1.21"}])",
          "Bridge IP: 192.168.1.21"}},
        {"none listed, last used known",
         true,
         "[]",
         "10.0.0.9",
         "10.0.0.9",
         {"response from portal is []", "Bridge IP: (null)",
          "response from Portal API but no IP provided, using last used bridge IP"}},
        {"none listed, nothing known",
         true,
         "[]",
         nullptr,
         std::nullopt,
         {"response from portal is []", "Bridge IP: (null)",
          "response from Portal API but no IP provided, and no last used bridge IP"}},
        {"unreachable, last used known",
         false,
         "",
         "10.0.0.9",
         "10.0.0.9",
         {"no response from Portal API, using last used bridge IP"}},
        {"unreachable, nothing known",
         false,
         "",
         nullptr,
         std::nullopt,
         {"no response from Portal API and no last used bridge IP"}},
    };
    for (const auto& c : cases) {
        platform::DefaultsStore store;
        FakeHttpClient portal;
        BridgeBridge b(portal, store, clock);
        store.setObject("discoveryPortal", "http://portal.test:81/");
        if (c.lastUsed) store.setObject("lastusedbridgeIP", c.lastUsed);
        if (c.portalAnswers) portal.reply("GET", "http://portal.test:81/api/nupnp", c.portalReply);
        // A bridge answers at every address the portal names.
        portal.reply("GET", "/api/config", R"({"bridgeid":"001788fffe000001","apiversion":"1.50.0"})");
        log.clear();
        b.discoverBridge();
        EXPECT_EQ(b.bridgeIP(), c.address) << c.what;
        EXPECT_EQ(log.lines(), c.logLines) << c.what;
        ASSERT_GE(portal.requests().size(), 1u) << c.what;
        EXPECT_EQ(portal.requests()[0].url, "http://portal.test:81/api/nupnp");
        const bool fromPortal = c.address && (!c.lastUsed || *c.address != c.lastUsed);
        if (fromPortal) {
            EXPECT_EQ(store.stringForKey("lastusedbridgeIP"), *c.address) << c.what;
        }
        if (!c.lastUsed && !fromPortal) {
            EXPECT_FALSE(store.hasObject("lastusedbridgeIP")) << c.what;
        }
    }
}

TEST_F(BridgeBridgeTest, ManualAddressNeverAsksThePortal) {
    defaults.setObject("discoveryPortal", "http://portal.test");
    defaults.setObject("alwaysUseManualIP", true);
    bridge.discoverBridge();
    EXPECT_EQ(bridge.bridgeIP(), std::nullopt);
    defaults.setObject("lastusedbridgeIP", "10.1.1.1:8080");
    bridge.discoverBridge();
    EXPECT_EQ(bridge.bridgeIP(), "10.1.1.1:8080");
    EXPECT_TRUE(http.requests().empty());
    EXPECT_TRUE(log.lines().empty());
}

// ---- Login ----

TEST_F(BridgeBridgeTest, LinkButtonPressedDuringTheFifthWaitSucceedsAtTheSixthAttempt) {
    testing::TempDir dir;
    platform::DefaultsStore store(dir.path());
    BridgeBridge b(http, store, clock);
    b.setPushButtonWindow(&pushWindow);
    b.setThrobber(&throbber);
    b.setBridgeIP("10.0.0.2");
    std::vector<int> observed;
    b.setLoginObserver([&](int attempt) { observed.push_back(attempt); });
    http.reply("POST", "http://10.0.0.2/api", R"([{"success":{"username":"newname"}}])");
    http.reply("POST", "http://10.0.0.2/api", linkButtonError, 5);

    const auto start = clock.now();
    EXPECT_TRUE(b.logIn());
    EXPECT_EQ(clock.now() - start, 5 * 2500ms) << "no pause after the attempt that succeeded";
    EXPECT_EQ(http.count("POST", "/api"), 6u);
    EXPECT_EQ(*http.requests()[0].body, R"({"devicetype":"org.glowmere.Glowmere"})");
    EXPECT_EQ(log.count("Bridge Error: link button not pressed"), 5u);
    // The user name is a credential: four characters of it at most.
    EXPECT_TRUE(log.contains("logged into bridge as: newn…"));
    EXPECT_FALSE(log.containsSubstring("newname"));
    EXPECT_EQ(observed, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(pushWindow.calls(), (std::vector<std::string>{"center", "front", "out"}));
    EXPECT_EQ(throbber.startCount(), 1);
    EXPECT_FALSE(throbber.animating());
    // Written to disk at once: a second store on the same directory sees it.
    EXPECT_EQ(platform::DefaultsStore(dir.path()).stringForKey("username"), "newname");
}

TEST_F(BridgeBridgeTest, BridgeSwitchedOffDuringLoginEndsAfterOneAttempt) {
    bridge.setBridgeIP("10.0.0.2");
    const auto start = clock.now();
    EXPECT_FALSE(bridge.logIn());
    EXPECT_EQ(http.requests().size(), 1u);
    EXPECT_EQ(clock.now() - start, 2500ms);
    EXPECT_TRUE(log.contains("unable to communicate with Bridge"));
    EXPECT_FALSE(pushWindow.isVisible());
}

TEST_F(BridgeBridgeTest, ThirtyRefusalsGiveUp) {
    bridge.setBridgeIP("10.0.0.2");
    http.reply("POST", "/api", linkButtonError);
    const auto start = clock.now();
    EXPECT_FALSE(bridge.logIn());
    EXPECT_EQ(http.requests().size(), 30u);
    EXPECT_EQ(log.count("Bridge Error: link button not pressed"), 30u);
    EXPECT_EQ(clock.now() - start, 75s);
    EXPECT_FALSE(defaults.hasObject("username"));
}

TEST_F(BridgeBridgeTest, LoginWithoutAddressShowsTheAlertAndCanOpenTheSettings) {
    for (auto answer : {platform::AlertResponse::Default, platform::AlertResponse::Alternate})
        alerts.queueAnswer(answer);
    EXPECT_FALSE(bridge.logIn());
    EXPECT_TRUE(prefsWindow.calls().empty());
    EXPECT_FALSE(bridge.logIn());
    ASSERT_EQ(alerts.shown().size(), 2u);
    const auto alert = alerts.shown()[0];
    EXPECT_EQ(alert.message, "Unable to find IP of bridge");
    EXPECT_EQ(alert.defaultButton, "OK");
    EXPECT_EQ(alert.alternateButton, "Settings");
    EXPECT_EQ(alert.otherButton, "");
    EXPECT_NE(alert.informativeText.find("re-try."), std::string::npos);
    EXPECT_NE(alert.informativeText.find("little while\n\nIf you know"), std::string::npos);
    EXPECT_EQ(prefsWindow.calls(), (std::vector<std::string>{"front"}));
    EXPECT_EQ(tabView.selected(), (std::vector<std::string>{"bridge"}));
    EXPECT_TRUE(pushWindow.calls().empty());
}

// The issued name goes into every request's path: only 1-64 letters, digits,
// "-" and "_" are taken; anything else is a failed login, nothing stored.
TEST_F(BridgeBridgeTest, LoginRefusesANameThatCouldSteerRequests) {
    const std::string names[] = {"../../config#",      "a/b",      "a b",        "name?x=1",
                                 std::string(65, 'a'), "k\x1b[2J", "caf\xC3\xA9"};
    for (const std::string& name : names) {
        FakeHttpClient replies;
        platform::DefaultsStore store;
        BridgeBridge b(replies, store, clock);
        b.setBridgeIP("10.0.0.2");
        replies.reply("POST", "http://10.0.0.2/api",
                      R"([{"success":{"username":")" + jsontext::escapeJSONText(name) + R"("}}])");
        log.clear();
        EXPECT_FALSE(b.logIn()) << name;
        EXPECT_EQ(replies.requests().size(), 1u) << name;
        EXPECT_FALSE(store.hasObject("username")) << name;
        EXPECT_TRUE(log.containsSubstring("not 1-64 letters, digits, '-' or '_'; not logged in")) << name;
        EXPECT_FALSE(b.sendGETRequestToUrl("lights")) << name;
    }
    // A stored name of that kind is never pasted into a path either.
    defaults.setObject("username", "../../config#");
    bridge.setBridgeIP("10.0.0.2");
    EXPECT_FALSE(bridge.sendPUTRequestToUrl(Value::map({{"on", "true"}}), "lights/1/state"));
    EXPECT_TRUE(http.requests().empty());
}

// What login logs of each attempt is bounded, however long the bridge's
// answer: thirty long answers do not make thirty long lines.
TEST_F(BridgeBridgeTest, LoggedBridgeTextIsBoundedAndEscaped) {
    bridge.setBridgeIP("10.0.0.2");
    http.reply("POST", "/api",
               R"([{"error":{"type":101,"address":"","description":"\u001b]0;owned\u0007)" + std::string(100000, 'x') +
                   R"("}}])");
    EXPECT_FALSE(bridge.logIn());
    std::size_t bytes = 0;
    for (const auto& line : log.lines()) {
        bytes += line.size();
        EXPECT_EQ(line.find('\x1b'), std::string::npos);
    }
    EXPECT_LT(bytes, 30u * 1200u);
    EXPECT_TRUE(log.containsSubstring("Bridge Error: \\x1b]0;owned\\x07xxx"));
    EXPECT_TRUE(log.containsSubstring("... (100010 bytes)"));
}

}  // namespace
}  // namespace glowmere::bridgetest
