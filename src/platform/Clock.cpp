#include "platform/Clock.h"

#include <date/date.h>

#include <algorithm>

#include "platform/RunLoop.h"

namespace glowmere::platform {

bool Clock::sleepFor(Duration d, std::stop_token stop) {
    return sleepUntil(now() + d, std::move(stop));
}

bool Clock::sleepUntil(TimePoint t, std::stop_token stop) {
    std::mutex m;
    std::condition_variable cv;
    // The callback comes before the lock: when stop was already requested it
    // runs right here, and it takes the mutex itself.
    std::stop_callback onStop(stop, [&] {
        std::lock_guard inner(m);
        cv.notify_all();
    });
    std::unique_lock lock(m);
    bool stopped = waitUntil(lock, cv, t, [&] { return stop.stop_requested(); });
    // Let go of the mutex before the callback is destroyed: a stop request
    // running the callback on another thread waits for this mutex, and the
    // callback's destructor waits for that request to finish.
    lock.unlock();
    return !stopped;
}

Clock::TimePoint SystemClock::now() const {
    return std::chrono::system_clock::now();
}

bool SystemClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                            const std::function<bool()>& ready) {
    // Wait on the steady clock in slices, so a changed wall clock cannot
    // stretch a wait, and a far deadline does not overflow.
    while (!ready()) {
        auto remaining = deadline - std::chrono::system_clock::now();
        if (remaining <= Duration::zero()) break;
        auto slice = std::min<Duration>(remaining, std::chrono::hours(1));
        cv.wait_for(lock, slice);
    }
    return ready();
}

SystemClock& SystemClock::shared() {
    static SystemClock clock;
    return clock;
}

FakeClock::TimePoint FakeClock::defaultStart() {
    using namespace date;
    // A Tuesday, in winter, at noon UTC.
    return std::chrono::system_clock::time_point(sys_days(2024_y / January / 9) + std::chrono::hours(12));
}

FakeClock::FakeClock(TimePoint start) : nowTicks_(start.time_since_epoch().count()) {}

FakeClock::TimePoint FakeClock::now() const {
    return TimePoint(Duration(nowTicks_.load()));
}

bool FakeClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                          const std::function<bool()>& ready) {
    if (autoAdvance_) {
        if (!ready() && deadline != never()) {
            std::int64_t target = deadline.time_since_epoch().count();
            std::int64_t current = nowTicks_.load();
            while (current < target && !nowTicks_.compare_exchange_weak(current, target)) {
            }
            wakeDue();
        }
        if (ready() || now() >= deadline) return ready();
    }
    auto id = std::this_thread::get_id();
    {
        std::lock_guard g(mutex_);
        Waiter& w = waiters_[id];
        w.mutex = lock.mutex();
        w.cv = &cv;
        w.deadline = deadline;
        w.waiting = true;
        w.woken = false;
        changed_.notify_all();
    }
    cv.wait(lock, [&] { return ready() || now() >= deadline; });
    {
        std::unique_lock g(mutex_);
        Waiter& w = waiters_[id];
        w.waiting = false;
        changed_.notify_all();
        // A waiter that saw its deadline pass by itself may still be about to
        // be notified; its mutex and cv (often locals of the caller) must
        // outlive that. Step aside from our own mutex meanwhile, since
        // wakeDue takes it.
        if (w.pins > 0) {
            lock.unlock();
            changed_.wait(g, [&] { return w.pins == 0; });
            g.unlock();
            lock.lock();
        }
    }
    return ready();
}

void FakeClock::threadFinished() {
    std::lock_guard g(mutex_);
    waiters_.erase(std::this_thread::get_id());
    changed_.notify_all();
}

void FakeClock::wakeDue() {
    std::vector<Waiter*> toWake;
    {
        std::lock_guard g(mutex_);
        for (auto& [id, w] : waiters_)
            if (w.waiting && w.deadline <= now()) {
                w.woken = true;
                ++w.pins;
                toWake.push_back(&w);
            }
    }
    // Taking each waiter's own mutex before notifying closes the window
    // between its check of the time and its wait.
    for (Waiter* w : toWake) {
        { std::lock_guard g(*w->mutex); }
        w->cv->notify_all();
    }
    {
        std::lock_guard g(mutex_);
        for (Waiter* w : toWake) --w->pins;
        changed_.notify_all();
    }
}

bool FakeClock::settled() const {
    for (const auto& [id, w] : waiters_) {
        if (w.waiting && w.deadline <= now()) return false;
        if (!w.waiting && w.woken) return false;
    }
    return true;
}

void FakeClock::settle() {
    std::unique_lock g(mutex_);
    if (!changed_.wait_for(g, settleTimeout_, [&] { return settled(); })) {
        // A woken thread that went on to other work (or ended without saying
        // so) is not waited for again.
        for (auto& [id, w] : waiters_) w.woken = false;
    }
}

void FakeClock::watchLoop(RunLoop& loop) {
    std::lock_guard g(loopsMutex_);
    loops_.push_back(&loop);
}

void FakeClock::unwatchLoop(RunLoop& loop) {
    std::lock_guard g(loopsMutex_);
    loops_.erase(std::remove(loops_.begin(), loops_.end(), &loop), loops_.end());
}

void FakeClock::waitForLoops() {
    std::lock_guard g(loopsMutex_);
    const auto giveUp = std::chrono::steady_clock::now() + settleTimeout_;
    for (RunLoop* loop : loops_) {
        const std::thread::id thread = loop->loopThread();
        if (thread == std::this_thread::get_id()) continue;
        while (!loop->atRest() && std::chrono::steady_clock::now() < giveUp) {
            if (!loop->inOwnWait()) {
                // A loop thread inside a task that itself waits on this
                // clock (a login's pause) is as far as it can get.
                std::lock_guard w(mutex_);
                auto it = waiters_.find(thread);
                if (it != waiters_.end() && it->second.waiting) break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
}

void FakeClock::advance(Duration d) {
    advanceTo(now() + d);
}

void FakeClock::advanceTo(TimePoint target) {
    for (;;) {
        waitForLoops();
        TimePoint step = target;
        {
            std::lock_guard g(mutex_);
            for (const auto& [id, w] : waiters_)
                if (w.waiting && w.deadline > now() && w.deadline < step) step = w.deadline;
        }
        if (step > now()) nowTicks_.store(step.time_since_epoch().count());
        wakeDue();
        settle();
        if (now() >= target) break;
    }
}

void FakeClock::setNow(TimePoint t) {
    nowTicks_.store(t.time_since_epoch().count());
    wakeDue();
    settle();
}

bool FakeClock::waitForWaiters(std::size_t count, std::chrono::milliseconds realTimeout) {
    std::unique_lock g(mutex_);
    return changed_.wait_for(g, realTimeout, [&] {
        std::size_t n = 0;
        for (const auto& [id, w] : waiters_)
            if (w.waiting && w.deadline > now()) ++n;
        return n >= count;
    });
}

std::size_t FakeClock::waiterCount() const {
    std::lock_guard g(mutex_);
    std::size_t n = 0;
    for (const auto& [id, w] : waiters_)
        if (w.waiting) ++n;
    return n;
}

FakeClock::TimePoint FakeClock::nextDeadline() const {
    std::lock_guard g(mutex_);
    TimePoint best = never();
    for (const auto& [id, w] : waiters_)
        if (w.waiting && w.deadline < best) best = w.deadline;
    return best;
}

}  // namespace glowmere::platform
