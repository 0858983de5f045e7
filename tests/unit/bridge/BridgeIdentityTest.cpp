#include <gtest/gtest.h>

#include <map>

#include "bridge/BridgeIdentity.h"

namespace glowmere {
namespace {

using Outcome = BridgeIdentity::Answer::Outcome;

// What answers at each base address; anything else refuses the connection.
// Records the bases asked, in order, and the pin each request required.
class Hosts final : public platform::HttpClient {
public:
    enum class Behaviour { Bridge, OtherKey, NotBridge };
    std::map<std::string, Behaviour> hosts;
    std::vector<std::string> asked;
    std::string shownPin = "sha256//shown";

    using platform::HttpClient::send;
    std::optional<platform::HttpResponse> send(const platform::HttpRequest& request,
                                               platform::HttpError* error) override {
        const std::string base = request.url.substr(0, request.url.find("/api/config"));
        asked.push_back(base);
        auto it = hosts.find(base);
        if (it == hosts.end() || (it->second == Behaviour::OtherKey && request.pinnedPublicKey)) {
            if (error)
                *error = {
                    it == hosts.end() ? platform::HttpError::Kind::Failed : platform::HttpError::Kind::KeyMismatch,
                    "refused"};
            return std::nullopt;
        }
        if (it->second == Behaviour::NotBridge) return platform::HttpResponse{404, "<html></html>", {}};
        platform::HttpResponse response{200, R"({"bridgeid":"gm01","apiversion":"1.50.0"})", {}};
        if (request.learnPublicKey) response.publicKeyPin = shownPin;
        return response;
    }
};

TEST(BridgeIdentityTest, HttpsIsTriedFirstAndAPinnedBridgeIsNeverAskedInClearText) {
    using B = Hosts::Behaviour;
    struct Case {
        const char* what;
        std::string address;
        std::string pin;
        std::map<std::string, B> hosts;
        Outcome outcome;
        std::string base;
        std::string pinAfter;
        std::vector<std::string> asked;
    } cases[] = {
        {"no HTTPS: plain HTTP at the address as written",
         "h:8080",
         "",
         {{"http://h:8080", B::Bridge}},
         Outcome::Reached,
         "http://h:8080",
         "",
         {"https://h:443", "http://h:8080"}},
        {"HTTPS on 443 is used and its key learnt",
         "h:8080",
         "",
         {{"https://h:443", B::Bridge}},
         Outcome::Reached,
         "https://h:443",
         "sha256//shown",
         {"https://h:443"}},
        {"something on 443 that is no bridge: HTTP",
         "h",
         "",
         {{"https://h:443", B::NotBridge}, {"http://h", B::Bridge}},
         Outcome::Reached,
         "http://h",
         "",
         {"https://h:443", "http://h"}},
        {"pinned and HTTPS gone: no step down",
         "h:8080",
         "sha256//kept",
         {{"http://h:8080", B::Bridge}},
         Outcome::NoReply,
         "",
         "",
         {"https://h:443"}},
        {"pinned and another key: refused, nothing else asked",
         "h:8080",
         "sha256//kept",
         {{"https://h:443", B::OtherKey}, {"http://h:8080", B::Bridge}},
         Outcome::KeyMismatch,
         "",
         "",
         {"https://h:443"}},
        {"pinned and the same key",
         "h",
         "sha256//kept",
         {{"https://h:443", B::Bridge}},
         Outcome::Reached,
         "https://h:443",
         "sha256//kept",
         {"https://h:443"}},
        {"https:// written: only there",
         "https://h:9443",
         "",
         {{"http://h:9443", B::Bridge}},
         Outcome::NoReply,
         "",
         "",
         {"https://h:9443"}},
        {"http:// written: only there",
         "http://h:81",
         "",
         {{"https://h:443", B::Bridge}, {"http://h:81", B::Bridge}},
         Outcome::Reached,
         "http://h:81",
         "",
         {"http://h:81"}},
    };
    for (const auto& c : cases) {
        Hosts hosts;
        hosts.hosts = c.hosts;
        const auto answer = BridgeIdentity(hosts).identify(c.address, c.pin);
        EXPECT_EQ(answer.outcome, c.outcome) << c.what;
        EXPECT_EQ(hosts.asked, c.asked) << c.what;
        if (c.outcome != Outcome::Reached) continue;
        EXPECT_EQ(answer.base, c.base) << c.what;
        EXPECT_EQ(answer.pin, c.pinAfter) << c.what;
        EXPECT_EQ(answer.bridgeId, "gm01") << c.what;
    }
}

// A bridge given a new address keeps its ports: an HTTPS port of its own is
// asked at the new host before what the search found.
TEST(BridgeIdentityTest, AMovedBridgeIsAskedOnItsOwnHttpsPortAtTheNewHost) {
    using List = std::vector<std::string>;
    EXPECT_EQ(BridgeIdentity::movedAddresses("https://a:9443", "b:80"), (List{"https://b:9443", "b:80"}));
    EXPECT_EQ(BridgeIdentity::movedAddresses("https://a:9443", "b"), (List{"https://b:9443", "b"}));
    EXPECT_EQ(BridgeIdentity::movedAddresses("https://a:443", "b"), (List{"b"})) << "443 is asked anyway";
    EXPECT_EQ(BridgeIdentity::movedAddresses("https://a", "b"), (List{"b"}));
    EXPECT_EQ(BridgeIdentity::movedAddresses("a:8080", "b:8080"), (List{"b:8080"})) << "plain: as found";
    EXPECT_EQ(BridgeIdentity::movedAddresses("https://a:9443", "a:80"), (List{"a:80"})) << "never the old one";
}

}  // namespace
}  // namespace glowmere
