#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace glowmere::platform {

class RunLoop;

// Every wait of the system (login attempts, retries, the polling cycle, the
// hourly check, timers) goes through a Clock, so tests can run on virtual
// time and never sleep for real.
class Clock {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    using Duration = std::chrono::system_clock::duration;

    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;

    // The core wait: with `lock` held (it locks the mutex `cv` is used with),
    // block until `ready()` is true or the clock reaches `deadline`. Whoever
    // makes `ready()` true must notify `cv` while holding that mutex, or
    // after releasing it. Returns ready().
    virtual bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                           const std::function<bool()>& ready) = 0;

    // Tells the clock that the calling thread will wait on it no more (a
    // background thread about to end). Only the fake clock cares.
    virtual void threadFinished() {}

    // A run loop on this clock says when it is made and when it goes, so a
    // test clock can wait for it between steps (the real clock has no use for it).
    virtual void watchLoop(RunLoop&) {}
    virtual void unwatchLoop(RunLoop&) {}

    // Sleep the calling thread on this clock. Returns false when the stop
    // token asked to stop before the time was up.
    bool sleepFor(Duration d, std::stop_token stop = {});
    bool sleepUntil(TimePoint t, std::stop_token stop = {});

    static TimePoint never() { return TimePoint::max(); }
};

// Real time.
class SystemClock final : public Clock {
public:
    TimePoint now() const override;
    bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                   const std::function<bool()>& ready) override;

    static SystemClock& shared();
};

// Virtual time for tests. Time stands still until `advance` moves it. Moving
// it steps from one waiter's deadline to the next, in order, and after each
// step gives the threads it woke a moment (real time, bounded) to do their
// work and wait again, so a test that advances by six seconds sees a polling
// cycle complete before `advance` returns. Before each step it also waits for
// every running loop to be back at its wait: a loop busy with posted tasks has
// not yet told the clock its next timer, which a step could then jump past.
class FakeClock final : public Clock {
public:
    explicit FakeClock(TimePoint start = defaultStart());

    TimePoint now() const override;
    bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                   const std::function<bool()>& ready) override;
    void threadFinished() override;
    void watchLoop(RunLoop& loop) override;
    void unwatchLoop(RunLoop& loop) override;

    // Advance virtual time, stepping through every deadline on the way.
    void advance(Duration d);
    void advanceTo(TimePoint t);
    // Set the time without stepping (may go backwards: a changed system clock).
    void setNow(TimePoint t);

    // Real-time wait until at least `count` threads wait on this clock with
    // nothing due; false after `realTimeout`. Lets a test line up with
    // background threads before it advances the time.
    bool waitForWaiters(std::size_t count, std::chrono::milliseconds realTimeout = std::chrono::milliseconds(5000));
    std::size_t waiterCount() const;
    // The earliest deadline any thread waits for, or never().
    TimePoint nextDeadline() const;

    // How long `advance` waits (real time) for woken threads to settle.
    void setSettleTimeout(std::chrono::milliseconds t) { settleTimeout_ = t; }

    // In auto-advance mode a wait that is not ready jumps the time straight
    // to its deadline: single-threaded code that sleeps (login's pauses
    // between attempts, say) runs through at once with the time it expects.
    void setAutoAdvance(bool on) { autoAdvance_ = on; }

    static TimePoint defaultStart();

private:
    struct Waiter {
        std::mutex* mutex = nullptr;
        std::condition_variable* cv = nullptr;
        TimePoint deadline;
        bool waiting = false;
        bool woken = false;  // woken by the last step and not yet waiting again
        int pins = 0;        // wakeDue is about to touch mutex/cv: the waiter must not leave
    };

    void wakeDue();
    bool settled() const;  // mutex_ held
    void settle();
    void waitForLoops();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<std::int64_t> nowTicks_;
    std::map<std::thread::id, Waiter> waiters_;
    std::mutex loopsMutex_;  // taken before mutex_, never after
    std::vector<RunLoop*> loops_;
    std::chrono::milliseconds settleTimeout_{2000};
    std::atomic<bool> autoAdvance_{false};
};

}  // namespace glowmere::platform
