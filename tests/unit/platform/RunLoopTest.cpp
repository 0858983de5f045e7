#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace glowmere::platform;
using namespace std::chrono_literals;

namespace {

TEST(RunLoop, HandDrivenTimersFireInTheOrderOfTheirTimes) {
    FakeClock clock;
    RunLoop loop(clock);
    std::vector<std::string> fired;
    loop.schedule(3s, [&] { fired.push_back("3s"); });
    auto cancelled = loop.schedule(2s, [&] { fired.push_back("cancelled"); });
    loop.schedule(1s, [&] { fired.push_back("1s"); });
    loop.post([&] { fired.push_back("posted"); });
    loop.invalidate(cancelled);
    EXPECT_FALSE(loop.isValid(cancelled));

    EXPECT_EQ(loop.runPending(), 1u);
    clock.setNow(clock.now() + 5s);
    loop.runPending();
    EXPECT_EQ(fired, (std::vector<std::string>{"posted", "1s", "3s"}));
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST(RunLoop, RepeatingTimersAndDelayedCallsRunOnTheLoopThread) {
    FakeClock clock;
    RunLoop loop(clock);
    std::thread thread([&] { loop.run(); });
    std::atomic<int> beats{0};
    std::atomic<bool> onLoopThread{true};
    RunLoop::TimerId repeating = 0;
    loop.postAndWait([&] {
        repeating = loop.scheduleRepeating(3s, [&] {
            if (!loop.isLoopThread()) onLoopThread = false;
            ++beats;
        });
    });
    ASSERT_TRUE(clock.waitForWaiters(1));
    clock.advance(10s);
    loop.postAndWait([] {});
    EXPECT_EQ(beats.load(), 3);
    loop.invalidate(repeating);
    clock.advance(10s);
    loop.postAndWait([] {});
    EXPECT_EQ(beats.load(), 3);
    EXPECT_TRUE(onLoopThread.load());

    // A delayed call made from a task runs after its delay, not before.
    std::atomic<bool> delayed{false};
    loop.post([&] { loop.schedule(5s, [&] { delayed = true; }); });
    loop.postAndWait([] {});
    clock.advance(4s);
    EXPECT_FALSE(delayed.load());
    clock.advance(1s);
    loop.postAndWait([] {});
    EXPECT_TRUE(delayed.load());

    // A timer set by a task still running when the time moves on fires at its
    // own time, before a later waiter on another thread wakes.
    std::mutex orderMutex;
    std::vector<std::string> order;
    auto note = [&](std::string what) {
        std::lock_guard g(orderMutex);
        order.push_back(std::move(what));
    };
    const auto start = clock.now();
    std::thread sleeper([&] {
        if (clock.sleepFor(6s)) note("waiter");
        clock.threadFinished();
    });
    ASSERT_TRUE(clock.waitForWaiters(2));
    loop.post([&] {
        loop.schedule(5s, [&] { note(clock.now() - start == 5s ? "timer on time" : "timer late"); });
        std::this_thread::sleep_for(50ms);  // still busy when the clock moves
    });
    clock.advance(12s);
    sleeper.join();
    loop.postAndWait([] {});
    EXPECT_EQ(order, (std::vector<std::string>{"timer on time", "waiter"}));

    loop.quit();
    thread.join();
    EXPECT_FALSE(loop.postAndWait([] {}));  // a quit loop refuses work instead of hanging
}

TEST(RunLoop, PostAndWaitFromManyThreadsKeepsEachThreadsOrder) {
    SystemClock& clock = SystemClock::shared();
    RunLoop loop(clock);
    std::thread thread([&] { loop.run(); });
    std::vector<int> seen;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) loop.postAndWait([&, t, i] { seen.push_back(t * 1000 + i); });
        });
    for (auto& p : posters) p.join();
    loop.quit();
    thread.join();
    ASSERT_EQ(seen.size(), 400u);
    std::vector<int> last(4, -1);
    for (int v : seen) {
        EXPECT_GT(v % 1000, last[v / 1000]);
        last[v / 1000] = v % 1000;
    }
}

}  // namespace
