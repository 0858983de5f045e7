#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/RequestFailure.h"
#include "platform/Clock.h"
#include "platform/Value.h"

namespace glowmere {

// One light or group command: a PUT of `body` to a lamp's state or a
// group's action.
struct BridgeCommand {
    bool group = false;
    std::string id;
    Value body;  // the bridge's own keys: "on", "bri", "hue", "sat", "transitiontime", ...
    // False for a step of a sequence (a false dawn's drop to zero) that a
    // later command with the same keys must not take the place of.
    bool replaceable = true;

    std::string path() const { return group ? "groups/" + id + "/action" : "lights/" + id + "/state"; }
};

// What became of a queued command. A command that a newer one replaced
// shares the newer one's ticket result.
class CommandTicket {
public:
    bool done() const;
    // Waits (real time) until the command was sent or given up; true when
    // the bridge took it.
    bool wait();
    // Why it failed; nothing while waiting or after success.
    std::optional<RequestFailure> failure() const;

    void finish(std::optional<RequestFailure> failure);

private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::optional<RequestFailure> failure_;
};

// The one queue every light and group command of the process passes, so a
// bridge gets no more than it can take: at most one command every 100 ms
// (10 a second) and one group command a second, in the order given. A newer
// command for the same lamp or group with the same keys replaces one still
// waiting (it goes to the end of the queue in its place), so a burst of
// changes to one lamp sends only the newest. A reply of 429 or 503 pauses
// the queue for 1 s, then 2 s, then gives the command up. A command that
// got no reply in time fails, and so does everything still waiting behind
// it, unsent: a bridge that just timed out is not asked again at once.
//
// A command that finds the queue idle and its slot free is sent on the
// calling thread right away, as a plain request would be; anything that has
// to wait is sent by the queue's own thread, which waits on the injected
// clock. Safe to use from any thread.
class CommandQueue {
public:
    static constexpr std::chrono::milliseconds commandInterval{100};
    static constexpr std::chrono::milliseconds groupInterval{1000};

    // Sends one command: nothing on success, else why not.
    using Send = std::function<std::optional<RequestFailure>(const BridgeCommand&)>;
    // Told of every command's final failure (after backing off), on the
    // thread that sent it, with no lock held.
    using Failed = std::function<void(const RequestFailure&)>;

    CommandQueue(platform::Clock& clock, Send send, Failed failed);
    ~CommandQueue();
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    std::shared_ptr<CommandTicket> enqueue(BridgeCommand command);
    // Waits (real time) until nothing waits, nothing is being sent and every
    // outcome has been told (tickets finished, failures reported). With a
    // fake clock, something must move the time on meanwhile.
    void waitUntilIdle();
    std::size_t waitingCount() const;
    // Nothing waits, nothing is on its way and every outcome has been told.
    bool idle() const;

    struct Counts {
        std::size_t sent = 0;      // requests made, retries included
        std::size_t replaced = 0;  // waiting commands a newer one took the place of
        std::size_t retried = 0;   // sends again after 429 or 503
        std::size_t dropped = 0;   // given up unsent after a time-out
    };
    Counts counts() const;

private:
    struct Entry {
        BridgeCommand command;
        std::vector<std::shared_ptr<CommandTicket>> tickets;
        int busyReplies = 0;
        std::uint64_t serial = 0;
    };
    using TimePoint = platform::Clock::TimePoint;

    TimePoint dueTime(const Entry& entry) const;  // mutex_ held
    // Sends `entry` (mutex_ held on entry and on return; released while sending).
    void sendNow(Entry entry, std::unique_lock<std::mutex>& lock);
    void startWorker();  // mutex_ held
    void run();

    platform::Clock& clock_;
    Send send_;
    Failed failed_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> waiting_;
    bool inFlight_ = false;
    int reporting_ = 0;  // sends whose outcome tickets and observers are still hearing of
    bool stopping_ = false;
    std::optional<TimePoint> lastSent_;
    std::optional<TimePoint> lastGroupSent_;
    std::optional<TimePoint> pausedUntil_;
    std::uint64_t nextSerial_ = 1;
    Counts counts_;
    std::thread worker_;
};

}  // namespace glowmere
