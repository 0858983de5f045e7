#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Clock.h"

namespace glowmere::platform {

// The controller thread's run loop: posted tasks, one-shot and repeating
// timers and delayed calls, all on an injected clock. It runs either on a
// thread of its own (`run` until `quit`) or is pumped by hand (`runPending`),
// which is how unit tests drive it.
class RunLoop {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;

    explicit RunLoop(Clock& clock);
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    Clock& clock() const { return clock_; }

    // Runs `task` on the loop, after everything posted before it.
    void post(Task task);
    // Runs `task` on the loop and waits for it; runs it at once when called
    // on the loop's own thread. Returns false when the loop has quit (the
    // task did not run).
    bool postAndWait(Task task);

    // One-shot timer (a delayed call). Ids are never reused; 0 is never an id.
    TimerId schedule(Clock::Duration delay, Task task);
    TimerId scheduleAt(Clock::TimePoint when, Task task);
    TimerId scheduleRepeating(Clock::Duration interval, Task task);
    // Cancels a timer; harmless for fired or unknown ids.
    void invalidate(TimerId id);
    bool isValid(TimerId id) const;
    std::size_t timerCount() const;

    // Runs on the calling thread until `quit`. The calling thread becomes the
    // loop's thread.
    void run();
    void quit();
    bool isRunning() const;

    // Runs what is due now: posted tasks and timers whose time has come, in
    // order of their times. Returns how many ran. For hand-driven loops.
    std::size_t runPending();

    bool isLoopThread() const;
    std::thread::id loopThread() const;
    // Not running, or waiting with nothing posted: whatever timer it waits
    // for, the clock has been told.
    bool atRest() const;
    // In its own wait (at rest, or about to take what was posted), as opposed
    // to running a task.
    bool inOwnWait() const;

private:
    struct Timer {
        Clock::TimePoint when;
        Clock::Duration interval{};  // zero for one-shot
        Task task;
    };

    bool takeNext(std::unique_lock<std::mutex>& lock, Task& out);  // a due task, if any

    Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Task> tasks_;
    std::map<TimerId, Timer> timers_;
    TimerId nextId_ = 1;
    bool quit_ = false;
    bool running_ = false;
    bool waiting_ = false;  // in the clock's wait, the mutex let go
    std::thread::id loopThread_;
};

}  // namespace glowmere::platform
