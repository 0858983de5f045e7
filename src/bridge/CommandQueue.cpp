#include "bridge/CommandQueue.h"

#include <algorithm>
#include <utility>

#include "platform/Log.h"

namespace glowmere {

namespace {

bool sameKeys(const Value& a, const Value& b) {
    if (!a.isMap() || !b.isMap() || a.size() != b.size()) return false;
    auto i = a.asMap().begin();
    for (const auto& [key, value] : b.asMap()) {
        if (i->first != key) return false;
        ++i;
    }
    return true;
}

bool isBusy(const std::optional<RequestFailure>& failure) {
    return failure && failure->kind == RequestFailure::Kind::HttpStatus &&
           (failure->status == 429 || failure->status == 503);
}

}  // namespace

// ---------------------------------------------------------------------------
// CommandTicket

bool CommandTicket::done() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

bool CommandTicket::wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
    return !failure_;
}

std::optional<RequestFailure> CommandTicket::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void CommandTicket::finish(std::optional<RequestFailure> failure) {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        failure_ = std::move(failure);
    }
    done_.notify_all();
}

// ---------------------------------------------------------------------------
// CommandQueue

CommandQueue::CommandQueue(platform::Clock& clock, Send send, Failed failed)
    : clock_(clock), send_(std::move(send)), failed_(std::move(failed)) {}

CommandQueue::~CommandQueue() {
    std::deque<Entry> left;
    {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
        // A command being sent on a caller's thread finishes first.
        changed_.wait(lock, [this] { return !inFlight_ && reporting_ == 0; });
        left.swap(waiting_);
    }
    if (worker_.joinable()) worker_.join();
    for (auto& entry : left) {
        RequestFailure failure{RequestFailure::Kind::NotSent, "PUT", entry.command.path(), {}, 0, "the client closed"};
        for (auto& ticket : entry.tickets) ticket->finish(failure);
    }
}

CommandQueue::TimePoint CommandQueue::dueTime(const Entry& entry) const {
    TimePoint due = TimePoint::min();
    if (lastSent_) due = std::max(due, *lastSent_ + commandInterval);
    if (entry.command.group && lastGroupSent_) due = std::max(due, *lastGroupSent_ + groupInterval);
    if (pausedUntil_) due = std::max(due, *pausedUntil_);
    return due;
}

std::shared_ptr<CommandTicket> CommandQueue::enqueue(BridgeCommand command) {
    auto ticket = std::make_shared<CommandTicket>();
    std::unique_lock lock(mutex_);
    Entry entry{std::move(command), {ticket}, 0, nextSerial_++};
    if (stopping_) {
        lock.unlock();
        ticket->finish(
            RequestFailure{RequestFailure::Kind::NotSent, "PUT", entry.command.path(), {}, 0, "the client closed"});
        return ticket;
    }
    if (entry.command.replaceable) {
        auto same = std::find_if(waiting_.begin(), waiting_.end(), [&](const Entry& waiting) {
            return waiting.command.replaceable && waiting.busyReplies == 0 &&
                   waiting.command.group == entry.command.group && waiting.command.id == entry.command.id &&
                   sameKeys(waiting.command.body, entry.command.body);
        });
        if (same != waiting_.end()) {
            // The newer value goes to the end in the older one's place, so
            // whatever else waits for this lamp stays before it.
            entry.tickets.insert(entry.tickets.begin(), same->tickets.begin(), same->tickets.end());
            waiting_.erase(same);
            ++counts_.replaced;
        }
    }
    if (!inFlight_ && waiting_.empty() && clock_.now() >= dueTime(entry)) {
        sendNow(std::move(entry), lock);
        return ticket;
    }
    waiting_.push_back(std::move(entry));
    startWorker();
    changed_.notify_all();
    return ticket;
}

void CommandQueue::startWorker() {
    if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
}

void CommandQueue::sendNow(Entry entry, std::unique_lock<std::mutex>& lock) {
    inFlight_ = true;
    const TimePoint now = clock_.now();
    lastSent_ = now;
    if (entry.command.group) lastGroupSent_ = now;
    ++counts_.sent;
    lock.unlock();
    std::optional<RequestFailure> failure = send_(entry.command);
    lock.lock();
    inFlight_ = false;

    if (isBusy(failure) && entry.busyReplies < 2 && !stopping_) {
        // The bridge asks for a pause: everything waits, this command first.
        const auto pause = std::chrono::seconds(entry.busyReplies == 0 ? 1 : 2);
        ++entry.busyReplies;
        ++counts_.retried;
        pausedUntil_ = clock_.now() + pause;
        platform::log("Bridge busy (HTTP " + std::to_string(failure->status) + "), trying again in " +
                      std::to_string(pause.count()) + " s");
        waiting_.push_front(std::move(entry));
        startWorker();
        changed_.notify_all();
        return;
    }

    std::vector<std::pair<std::shared_ptr<CommandTicket>, RequestFailure>> failures;
    if (failure) {
        if (isBusy(failure)) {
            failure->kind = RequestFailure::Kind::Busy;
            platform::log("Bridge busy (HTTP " + std::to_string(failure->status) + "), giving up PUT " +
                          entry.command.path());
        }
        for (auto& t : entry.tickets) failures.emplace_back(t, *failure);
        if (failure->kind == RequestFailure::Kind::TimedOut && !waiting_.empty()) {
            platform::log("not sending " + std::to_string(waiting_.size()) +
                          " waiting commands: the bridge did not answer in time");
            for (auto& dropped : waiting_) {
                RequestFailure notSent{
                    RequestFailure::Kind::NotSent,      "PUT", dropped.command.path(), failure->address, 0,
                    "the bridge did not answer in time"};
                for (auto& t : dropped.tickets) failures.emplace_back(t, notSent);
                ++counts_.dropped;
            }
            waiting_.clear();
        }
    } else {
        pausedUntil_.reset();
    }
    // Until every ticket and observer has heard of the outcome the queue is
    // not idle: whoever waits for it must find a failure already recorded.
    ++reporting_;

    // Tickets and observers hear of it with no lock held.
    lock.unlock();
    if (!failure)
        for (auto& t : entry.tickets) t->finish(std::nullopt);
    const RequestFailure* lastReported = nullptr;
    for (auto& [ticket, why] : failures) {
        ticket->finish(why);
        // One report per command, however many callers it stood for.
        if (!lastReported || lastReported->path != why.path || lastReported->kind != why.kind) {
            if (failed_) failed_(why);
            lastReported = &why;
        }
    }
    lock.lock();
    --reporting_;
    changed_.notify_all();
}

void CommandQueue::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (waiting_.empty() || inFlight_) {
            // Idle waits are no waits on the clock: a test's fake clock must
            // not count this thread among those it steps.
            lock.unlock();
            clock_.threadFinished();
            lock.lock();
            changed_.wait(lock, [this] { return stopping_ || (!waiting_.empty() && !inFlight_); });
            continue;
        }
        const TimePoint due = dueTime(waiting_.front());
        if (clock_.now() < due) {
            const std::uint64_t head = waiting_.front().serial;
            clock_.waitUntil(lock, changed_, due, [&] {
                return stopping_ || inFlight_ || waiting_.empty() || waiting_.front().serial != head;
            });
            continue;
        }
        Entry entry = std::move(waiting_.front());
        waiting_.pop_front();
        sendNow(std::move(entry), lock);
    }
    lock.unlock();
    clock_.threadFinished();
}

void CommandQueue::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopping_ || (waiting_.empty() && !inFlight_ && reporting_ == 0); });
}

bool CommandQueue::idle() const {
    std::lock_guard lock(mutex_);
    return waiting_.empty() && !inFlight_ && reporting_ == 0;
}

std::size_t CommandQueue::waitingCount() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

CommandQueue::Counts CommandQueue::counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

}  // namespace glowmere
