#include "platform/RunLoop.h"

#include <future>

namespace glowmere::platform {

RunLoop::RunLoop(Clock& clock) : clock_(clock) {
    clock_.watchLoop(*this);
}

RunLoop::~RunLoop() {
    quit();
    clock_.unwatchLoop(*this);
}

void RunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    cv_.notify_all();
}

bool RunLoop::postAndWait(Task task) {
    if (isLoopThread()) {
        task();
        return true;
    }
    auto done = std::make_shared<std::promise<bool>>();
    auto result = done->get_future();
    {
        std::lock_guard lock(mutex_);
        if (quit_) return false;
        tasks_.push_back([task = std::move(task), done] {
            task();
            done->set_value(true);
        });
    }
    cv_.notify_all();
    try {
        return result.get();
    } catch (const std::future_error&) {
        return false;  // the loop ended with the task still queued
    }
}

RunLoop::TimerId RunLoop::schedule(Clock::Duration delay, Task task) {
    return scheduleAt(clock_.now() + delay, std::move(task));
}

RunLoop::TimerId RunLoop::scheduleAt(Clock::TimePoint when, Task task) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        timers_.emplace(id, Timer{when, {}, std::move(task)});
    }
    cv_.notify_all();
    return id;
}

RunLoop::TimerId RunLoop::scheduleRepeating(Clock::Duration interval, Task task) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        timers_.emplace(id, Timer{clock_.now() + interval, interval, std::move(task)});
    }
    cv_.notify_all();
    return id;
}

void RunLoop::invalidate(TimerId id) {
    {
        std::lock_guard lock(mutex_);
        timers_.erase(id);
    }
    cv_.notify_all();
}

bool RunLoop::isValid(TimerId id) const {
    std::lock_guard lock(mutex_);
    return timers_.count(id) > 0;
}

std::size_t RunLoop::timerCount() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

bool RunLoop::takeNext(std::unique_lock<std::mutex>&, Task& out) {
    // Timers that are due go first: a task posted after the time came (a
    // caller checking on a delayed call) then sees the timer's work done.
    // The earliest due timer; ties go to the one scheduled first.
    auto now = clock_.now();
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.when <= now && (best == timers_.end() || it->second.when < best->second.when)) best = it;
    if (best == timers_.end()) {
        if (tasks_.empty()) return false;
        out = std::move(tasks_.front());
        tasks_.pop_front();
        return true;
    }
    if (best->second.interval > Clock::Duration::zero()) {
        out = best->second.task;
        best->second.when += best->second.interval;
        if (best->second.when <= now) best->second.when = now + best->second.interval;  // missed beats are dropped
    } else {
        out = std::move(best->second.task);
        timers_.erase(best);
    }
    return true;
}

void RunLoop::run() {
    std::unique_lock lock(mutex_);
    loopThread_ = std::this_thread::get_id();
    running_ = true;
    while (!quit_) {
        Task task;
        if (takeNext(lock, task)) {
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        Clock::TimePoint next = Clock::never();
        for (const auto& [id, t] : timers_)
            if (t.when < next) next = t.when;
        std::size_t timersBefore = timers_.size();
        TimerId idBefore = nextId_;
        waiting_ = true;
        clock_.waitUntil(lock, cv_, next, [&] {
            return quit_ || !tasks_.empty() || timers_.size() != timersBefore || nextId_ != idBefore;
        });
        waiting_ = false;
    }
    running_ = false;
    // Tasks still queued are dropped; waiters of postAndWait see false.
    tasks_.clear();
    lock.unlock();
    clock_.threadFinished();
}

void RunLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
}

bool RunLoop::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_ && !quit_;
}

std::size_t RunLoop::runPending() {
    std::size_t count = 0;
    std::unique_lock lock(mutex_);
    if (loopThread_ == std::thread::id()) loopThread_ = std::this_thread::get_id();
    Task task;
    while (takeNext(lock, task)) {
        lock.unlock();
        task();
        ++count;
        lock.lock();
    }
    return count;
}

std::thread::id RunLoop::loopThread() const {
    std::lock_guard lock(mutex_);
    return loopThread_;
}

bool RunLoop::atRest() const {
    // Holding the mutex while the loop is waiting means it is inside the
    // condition variable's wait, so it has told the clock its deadline.
    std::lock_guard lock(mutex_);
    return !running_ || quit_ || (waiting_ && tasks_.empty());
}

bool RunLoop::inOwnWait() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

bool RunLoop::isLoopThread() const {
    std::lock_guard lock(mutex_);
    return loopThread_ == std::this_thread::get_id();
}

}  // namespace glowmere::platform
