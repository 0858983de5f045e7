// How long a GET lights takes from a simulated bridge with 200 lamps and 50
// groups, over loopback. Prints figures; asserts only that every reply came.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "support/SimulatedBridge.h"

namespace glowmere::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median = 0;
    double max = 0;
};

Figures figures(std::vector<double> millis) {
    std::sort(millis.begin(), millis.end());
    return Figures{millis[millis.size() / 2], millis.back()};
}

TEST(SimBench, GetLightsWith200LampsAnd50Groups) {
    SimulatedBridge::Options options;
    options.lamps = 200;
    options.groups = 50;
    SimulatedBridge bridge(options);
    const int rounds = 200;
    std::size_t replyBytes = 0;

    // A new connection for every request, as a client without keep-alive.
    std::vector<double> fresh;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        auto reply = bridge.userRequest("GET", "lights");
        fresh.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        ASSERT_TRUE(reply.has_value());
        if (i == 0) {
            replyBytes = reply->size();
            ASSERT_EQ(nlohmann::json::parse(*reply).size(), 200u);
        }
    }

    // One connection kept open.
    httplib::Client client("127.0.0.1", bridge.port());
    client.set_keep_alive(true);
    std::vector<double> kept;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        auto reply = client.Get(("/api/" + bridge.user() + "/lights").c_str());
        kept.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->status, 200);
    }

    Figures f = figures(fresh), k = figures(kept);
    std::printf("GET lights, 200 lamps and 50 groups, %zu bytes, %d requests each:\n", replyBytes, rounds);
    std::printf("  new connection each: median %.2f ms, max %.2f ms\n", f.median, f.max);
    std::printf("  kept-alive connection: median %.2f ms, max %.2f ms\n", k.median, k.max);
    RecordProperty("median_ms", std::to_string(f.median));
}

}  // namespace
}  // namespace glowmere::testing
