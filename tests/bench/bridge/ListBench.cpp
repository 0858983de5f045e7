// Wall time and request count of reading every lamp and every group from the
// simulated bridge over loopback, for houses of 10, 50 and 200 lamps.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "bridge/BridgeBridge.h"
#include "support/SimulatedBridge.h"

namespace glowmere {
namespace {

using testing::SimulatedBridge;

TEST(BridgeListBench, LightsAndGroupsArrays) {
    std::printf("%-7s %-12s %10s %9s %12s\n", "lamps", "operation", "wall ms", "requests", "ms/request");
    for (int lamps : {10, 50, 200}) {
        SimulatedBridge::Options options;
        options.lamps = lamps;
        options.groups = lamps / 5;
        SimulatedBridge sim(options);
        platform::CurlHttpClient http;
        platform::DefaultsStore defaults;
        platform::FakeClock clock;
        BridgeBridge bridge(http, defaults, clock);
        defaults.setObject("username", sim.user());
        bridge.setBridgeIP(sim.address());

        for (bool groups : {false, true}) {
            sim.clearRequestLog();
            const auto start = std::chrono::steady_clock::now();
            auto list = groups ? bridge.groupsArray() : bridge.lightsArray();
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            const auto requests = sim.requestLog().size();
            ASSERT_TRUE(list);
            EXPECT_EQ(list->size(), static_cast<std::size_t>(groups ? options.groups : lamps));
            EXPECT_EQ(requests, list->size() + 1);  // the list, then one per item
            std::printf("%-7d %-12s %10.1f %9zu %12.3f\n", lamps, groups ? "groupsArray" : "lightsArray", ms, requests,
                        ms / static_cast<double>(requests));
        }
    }
    std::fflush(stdout);
}

}  // namespace
}  // namespace glowmere
