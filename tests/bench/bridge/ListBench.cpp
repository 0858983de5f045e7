// Wall time of `lightsArray` against the simulated bridge with 50 ms of
// latency on every request (a real bridge answers in 20-100 ms), for houses
// of 10, 50 and 200 lamps: a bridge that lists every lamp's state (one
// request) against one that lists names only, which is read lamp by lamp
// (one request per lamp, as every list was read before).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "bridge/BridgeBridge.h"
#include "platform/Log.h"
#include "support/SimulatedBridge.h"

namespace glowmere {
namespace {

using testing::SimulatedBridge;

TEST(BridgeListBench, LightsArrayWithFiftyMillisecondsOfLatency) {
    platform::LogCapture quiet;
    std::printf("%-7s %-22s %10s %9s\n", "lamps", "bridge lists", "wall ms", "requests");
    for (int lamps : {10, 50, 200}) {
        for (bool namesOnly : {true, false}) {
            // A request a lamp: at 200 lamps that alone would be ten seconds.
            if (namesOnly && lamps > 50) continue;
            SimulatedBridge::Options options;
            options.lamps = lamps;
            options.groups = lamps / 5;
            options.namesOnly = namesOnly;
            SimulatedBridge sim(options);
            sim.addLatency(50);
            platform::CurlHttpClient http;
            platform::DefaultsStore defaults;
            platform::FakeClock clock;
            BridgeBridge bridge(http, defaults, clock);
            defaults.setObject("username", sim.user());
            bridge.setBridgeIP(sim.address());

            sim.clearRequestLog();
            const auto start = std::chrono::steady_clock::now();
            auto list = bridge.lightsArray();
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            const auto requests = sim.requestLog().size();
            ASSERT_TRUE(list);
            EXPECT_EQ(list->size(), static_cast<std::size_t>(lamps));
            EXPECT_EQ(requests, namesOnly ? list->size() + 1 : 1u);
            std::printf("%-7d %-22s %10.1f %9zu\n", lamps, namesOnly ? "names only (before)" : "every state (now)", ms,
                        requests);
        }
    }
    std::fflush(stdout);
}

}  // namespace
}  // namespace glowmere
