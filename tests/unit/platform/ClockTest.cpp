#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/BackgroundThread.h"

using namespace glowmere::platform;
using namespace std::chrono_literals;

namespace {

TEST(FakeClock, BackgroundThreadsSleepOnVirtualTime) {
    FakeClock clock;
    auto start = clock.now();
    std::atomic<int> cycles{0};
    std::vector<Clock::TimePoint> seen;
    std::mutex seenMutex;
    {
        BackgroundThread poller(clock, [&](std::stop_token stop) {
            while (clock.sleepFor(6s, stop)) {
                std::lock_guard g(seenMutex);
                seen.push_back(clock.now());
                ++cycles;
            }
        });
        ASSERT_TRUE(clock.waitForWaiters(1));
        clock.advance(5s);
        EXPECT_EQ(cycles.load(), 0);
        clock.advance(1s);
        EXPECT_EQ(cycles.load(), 1);
        clock.advance(30s);  // steps through every six-second beat
        EXPECT_EQ(cycles.load(), 6);
        poller.requestStop();
    }  // joins: a stop wakes the sleep at once
    ASSERT_EQ(seen.size(), 6u);
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], start + 6s * static_cast<int>(i + 1));
}

TEST(FakeClock, SeveralSleepersWakeInTheOrderOfTheirDeadlines) {
    FakeClock clock;
    std::mutex m;
    std::vector<int> order;
    std::vector<BackgroundThread> threads;
    for (int seconds : {9, 3, 6}) {
        threads.emplace_back(clock, [&, seconds](std::stop_token stop) {
            if (clock.sleepFor(std::chrono::seconds(seconds), stop)) {
                std::lock_guard g(m);
                order.push_back(seconds);
            }
        });
    }
    ASSERT_TRUE(clock.waitForWaiters(3));
    clock.advance(10s);
    for (auto& t : threads) t.join();
    EXPECT_EQ(order, (std::vector<int>{3, 6, 9}));
}

TEST(FakeClock, AutoAdvanceRunsSingleThreadedSleepsAtOnce) {
    FakeClock clock;
    clock.setAutoAdvance(true);
    auto start = clock.now();
    for (int i = 0; i < 30; ++i) clock.sleepFor(2500ms);
    EXPECT_EQ(clock.now() - start, 75s);
}

TEST(SystemClock, StopTokenEndsASleepEarly) {
    std::stop_source source;
    auto begin = std::chrono::steady_clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        source.request_stop();
    });
    EXPECT_FALSE(SystemClock::shared().sleepFor(std::chrono::hours(1), source.get_token()));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    EXPECT_TRUE(SystemClock::shared().sleepFor(1ms));
}

}  // namespace
