#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/HttpClient.h"
#include "platform/RunLoop.h"
#include "platform/TimeZone.h"
#include "schedules/ScheduleManager.h"
#include "support/SimulatedBridge.h"

namespace glowmere::testing {

// Weekday masks of a schedule item: Monday is the highest of seven bits.
constexpr int MonToFri = 124, Friday = 4, Monday = 64, Every = 127;

// The schedule manager against the simulated bridge over loopback. The
// manager's clock and the bridge's clock are set together; the bridge's clock
// then moves on its own, carrying out the schedules as they fall due.
struct SimScheduleFixture {
    explicit SimScheduleFixture(const std::string& zone = "UTC")
        : loop(clock),
          bridge(http, defaults, clock),
          manager(bridge, defaults, loop, *platform::TimeZone::named(zone)) {
        defaults.setObject("username", sim.user());
        bridge.setBridgeIP(sim.address());
    }

    static std::string isoUtc(platform::Clock::TimePoint t) {
        auto s = std::chrono::floor<std::chrono::seconds>(t);
        std::time_t tt = std::chrono::system_clock::to_time_t(s);
        std::tm tm{};
        gmtime_r(&tt, &tm);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
        return text;
    }

    // Both clocks to this local wall time in `zone`.
    void at(const std::string& zone, int y, int mo, int d, int h, int mi, int s = 0) {
        using namespace std::chrono;
        auto tz = *platform::TimeZone::named(zone);
        manager.setTimeZone(tz);
        local_seconds local{local_days{year{y} / month{static_cast<unsigned>(mo)} / day{static_cast<unsigned>(d)}}};
        auto t = platform::Clock::TimePoint(tz.toSys(local + hours(h) + minutes(mi) + seconds(s)));
        clock.setNow(t);
        sim.setClock(isoUtc(t));
    }
    // Moves the bridge's clock to a local wall time (and the manager's with it).
    void runBridgeTo(int y, int mo, int d, int h, int mi, int s = 0) {
        using namespace std::chrono;
        local_seconds local{local_days{year{y} / month{static_cast<unsigned>(mo)} / day{static_cast<unsigned>(d)}}};
        auto t = platform::Clock::TimePoint(manager.timeZone().toSys(local + hours(h) + minutes(mi) + seconds(s)));
        auto delta = duration_cast<milliseconds>(t - clock.now());
        ASSERT_GE(delta.count(), 0);
        sim.advanceClock(static_cast<double>(delta.count()) / 1000.0);
        clock.setNow(t);
    }

    bool lampOn(const std::string& id) {
        auto reply = sim.userRequest("GET", "lights/" + id);
        return reply && nlohmann::json::parse(*reply)["state"]["on"].get<bool>();
    }
    void setLamp(const std::string& id, bool on) { sim.changeLamp(id, on ? R"({"on":true})" : R"({"on":false})"); }

    // The JSON bodies of the schedule POSTs since the log was cleared.
    std::vector<nlohmann::json> postedSchedules() {
        std::vector<nlohmann::json> out;
        for (const auto& r : sim.requestLog())
            if (r.method == "POST" && r.path.ends_with("/schedules")) out.push_back(nlohmann::json::parse(r.body));
        return out;
    }
    std::vector<std::string> requests(const std::string& method) {
        std::vector<std::string> out;
        for (const auto& r : sim.requestLog())
            if (r.method == method) out.push_back(r.path + (r.body.empty() ? "" : " " + r.body));
        return out;
    }
    nlohmann::json bridgeSchedules() { return nlohmann::json::parse(*sim.userRequest("GET", "schedules")); }

    static Action item(int kind, const std::string& lampId, const std::string& on, const std::string& off,
                       int days = 127) {
        Action a;
        a.setObjectForKey(kind, "action");
        a.setObjectForKey("lamp: Hall", "lamp");
        a.setObjectForKey(lampId, "lampid");
        a.setObjectForKey(on, "ontime");
        a.setObjectForKey(off, "offtime");
        const char* keys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
        for (int i = 0; i < 7; ++i) a.setObjectForKey((days & (64 >> i)) != 0, keys[i]);
        return a;
    }

    SimulatedBridge sim;
    platform::FakeClock clock;
    platform::RunLoop loop;
    platform::DefaultsStore defaults;
    platform::CurlHttpClient http;
    BridgeBridge bridge;
    ScheduleManager manager;
};

}  // namespace glowmere::testing
