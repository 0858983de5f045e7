#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "platform/Log.h"
#include "support/FakeHttpClient.h"
#include "support/FakeUi.h"

namespace glowmere::bridgetest {

using namespace std::chrono_literals;
using testing::FakeAlerts;
using testing::FakeHttpClient;
using testing::FakeProgressIndicator;
using testing::FakeTabView;
using testing::FakeWindow;

inline constexpr const char* linkButtonError =
    R"([{"error":{"type":101,"address":"","description":"link button not pressed"}}])";

// A client on a fake HTTP client and a fake clock that runs through every
// sleep at once, with every outlet connected to a fake.
class BridgeBridgeTest : public ::testing::Test {
protected:
    BridgeBridgeTest() {
        clock.setAutoAdvance(true);
        bridge.setPushButtonWindow(&pushWindow);
        bridge.setThrobber(&throbber);
        bridge.setPrefsWindow(&prefsWindow);
        bridge.setPrefsTabView(&tabView);
        bridge.setAlerts(&alerts);
    }

    void paired() {
        defaults.setObject("username", "alice");
        bridge.setBridgeIP("10.0.0.2");
    }

    // "METHOD path body" of each request, the API root cut off, once the
    // paced commands have all gone out.
    std::vector<std::string> wire() {
        bridge.waitForCommands();
        std::vector<std::string> out;
        const std::string root = "http://10.0.0.2/api/alice/";
        for (const auto& r : http.requests()) {
            std::string url = r.url.rfind(root, 0) == 0 ? r.url.substr(root.size()) : r.url;
            out.push_back(r.method + " " + url + (r.body ? " " + *r.body : ""));
        }
        return out;
    }

    platform::LogCapture log;
    FakeHttpClient http;
    platform::DefaultsStore defaults;
    platform::FakeClock clock;
    FakeWindow pushWindow, prefsWindow;
    FakeProgressIndicator throbber;
    FakeTabView tabView;
    FakeAlerts alerts;
    BridgeBridge bridge{http, defaults, clock};
};

}  // namespace glowmere::bridgetest
