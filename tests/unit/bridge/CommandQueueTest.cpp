#include "bridge/CommandQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "bridge/JsonText.h"
#include "platform/Log.h"

namespace glowmere {
namespace {

using namespace std::chrono_literals;
using Kind = RequestFailure::Kind;

// A queue whose sends are recorded as "+MS PATH BODY" on a fake clock and
// answered from a script of HTTP statuses (200 once the script is used up;
// 0 stands for a time-out).
class CommandQueueTest : public ::testing::Test {
protected:
    CommandQueueTest() {
        queue = std::make_unique<CommandQueue>(
            clock,
            [this](const BridgeCommand& c) -> std::optional<RequestFailure> {
                std::lock_guard lock(mutex);
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - caseStart).count();
                sent.push_back("+" + std::to_string(ms) + " " + c.path() + " " + jsontext::JSONFromDictionary(c.body));
                int status = 200;
                if (!script.empty()) {
                    status = script.front();
                    script.pop_front();
                }
                if (status == 200) return std::nullopt;
                if (status == 0) return RequestFailure{Kind::TimedOut, "PUT", c.path(), "bridge", 0, {}};
                return RequestFailure{Kind::HttpStatus, "PUT", c.path(), "bridge", status, {}};
            },
            [this](const RequestFailure& f) {
                // An observer takes a moment (a log line, a lock): long
                // enough for a waiter told "idle" too early to look first.
                for (int i = 0; i < 50; ++i) std::this_thread::yield();
                std::lock_guard lock(mutex);
                reported.push_back(f.path);
                ++failuresSeen;
            });
    }
    ~CommandQueueTest() override { queue.reset(); }

    std::shared_ptr<CommandTicket> lamp(const char* id, Value body, bool replaceable = true) {
        return queue->enqueue(BridgeCommand{false, id, std::move(body), replaceable});
    }
    std::shared_ptr<CommandTicket> group(const char* id, Value body) {
        return queue->enqueue(BridgeCommand{true, id, std::move(body), true});
    }
    // Lets the queue's thread line up on the clock first.
    void advance(platform::Clock::Duration d) {
        if (queue->waitingCount() > 0) clock.waitForWaiters(1);
        clock.advance(d);
    }
    std::vector<std::string> wire() {
        std::lock_guard lock(mutex);
        return sent;
    }

    platform::LogCapture log;
    platform::FakeClock clock;
    std::mutex mutex;
    platform::Clock::TimePoint caseStart = clock.now();
    std::vector<std::string> sent;
    std::vector<std::string> reported;
    std::deque<int> script;
    std::atomic<int> failuresSeen{0};
    std::unique_ptr<CommandQueue> queue;
};

TEST_F(CommandQueueTest, TenCommandsASecondOneGroupCommandASecondInOrderNewestValueReplacingAWaitingOne) {
    auto first = lamp("1", Value::map({{"bri", 1}}));
    EXPECT_TRUE(first->done()) << "an idle queue sends at once, on the caller's thread";
    lamp("2", Value::map({{"bri", 1}}));
    auto replaced = lamp("1", Value::map({{"bri", 2}}));
    group("1", Value::map({{"on", "true"}}));
    auto newest = lamp("1", Value::map({{"bri", 3}}));           // takes the place of bri 2, at the end
    lamp("1", Value::map({{"bri", 4}, {"transitiontime", 5}}));  // other keys: a command of its own
    group("2", Value::map({{"on", "false"}}));
    advance(3s);
    EXPECT_EQ(wire(), (std::vector<std::string>{
                          R"(+0 lights/1/state {"bri":1})",
                          R"(+100 lights/2/state {"bri":1})",
                          R"(+200 groups/1/action {"on":true})",
                          R"(+300 lights/1/state {"bri":3})",
                          R"(+400 lights/1/state {"bri":4,"transitiontime":5})",
                          R"(+1200 groups/2/action {"on":false})",
                      }));
    EXPECT_TRUE(replaced->done() && !replaced->failure()) << "the replaced command's caller hears of the newer one";
    EXPECT_TRUE(newest->done());
    EXPECT_EQ(queue->counts().replaced, 1u);
    EXPECT_EQ(queue->counts().sent, 6u);
}

TEST_F(CommandQueueTest, StepsOfASequenceAreNeverReplaced) {
    lamp("3", Value::map({{"on", "true"}}), false);
    lamp("3", Value::map({{"bri", 0}, {"transitiontime", 0}}), false);
    lamp("3", Value::map({{"bri", 255}, {"transitiontime", 600}}));
    advance(1s);
    EXPECT_EQ(wire(), (std::vector<std::string>{R"(+0 lights/3/state {"on":true})",
                                                R"(+100 lights/3/state {"bri":0,"transitiontime":0})",
                                                R"(+200 lights/3/state {"bri":255,"transitiontime":600})"}));
}

TEST_F(CommandQueueTest, BusyRepliesBackOffOneThenTwoSecondsThenGiveUp) {
    struct Case {
        const char* what;
        std::deque<int> replies;
        std::vector<std::string> sends;  // the command, then the one queued behind it
        bool succeeded;
    } cases[] = {
        {"busy once", {503}, {"+0 5", "+1000 5", "+1100 6"}, true},
        {"too many requests twice", {429, 429}, {"+0 5", "+1000 5", "+3000 5", "+3100 6"}, true},
        {"busy three times", {503, 503, 503}, {"+0 5", "+1000 5", "+3000 5", "+3100 6"}, false},
    };
    for (const auto& c : cases) {
        advance(10s);
        {
            std::lock_guard lock(mutex);
            sent.clear();
            reported.clear();
            script = c.replies;
            caseStart = clock.now();
        }
        auto ticket = lamp("5", Value::map({{"on", "true"}}));
        auto behind = lamp("6", Value::map({{"on", "true"}}));
        advance(5s);
        std::vector<std::string> sends;
        for (const auto& line : wire()) sends.push_back(line.substr(0, line.find(' ') + 1) + line[line.find('/') + 1]);
        EXPECT_EQ(sends, c.sends) << c.what;
        ASSERT_TRUE(ticket->done()) << c.what;
        EXPECT_EQ(!ticket->failure(), c.succeeded) << c.what;
        if (!c.succeeded) {
            EXPECT_EQ(ticket->failure()->kind, Kind::Busy) << c.what;
            EXPECT_EQ(reported, std::vector<std::string>{"lights/5/state"}) << c.what;
        }
        EXPECT_TRUE(behind->done() && !behind->failure()) << c.what;
    }
}

TEST_F(CommandQueueTest, ATimeOutFailsTheCommandsWaitingBehindItUnsent) {
    script = {200, 0};
    lamp("1", Value::map({{"on", "true"}}));
    auto timedOut = lamp("2", Value::map({{"on", "true"}}));
    auto dropped = lamp("3", Value::map({{"on", "true"}}));
    auto alsoDropped = group("1", Value::map({{"on", "true"}}));
    advance(2s);
    EXPECT_EQ(wire().size(), 2u) << "no second request to a bridge that just timed out";
    EXPECT_EQ(timedOut->failure()->kind, Kind::TimedOut);
    EXPECT_EQ(dropped->failure()->kind, Kind::NotSent);
    EXPECT_EQ(alsoDropped->failure()->kind, Kind::NotSent);
    EXPECT_EQ(reported, (std::vector<std::string>{"lights/2/state", "lights/3/state", "groups/1/action"}));
    // Later commands are tried again.
    auto later = lamp("4", Value::map({{"on", "true"}}));
    advance(1s);
    EXPECT_TRUE(later->done() && !later->failure());
}

TEST_F(CommandQueueTest, AFailureIsRecordedBeforeTheQueueIsIdle) {
    // What a command-line call does: queue one to three commands, wait
    // until the queue is idle, then look whether anything failed. The last
    // command fails (the one the queue's own thread sends, when there are
    // several), by an error status or by giving up after busy replies.
    clock.setAutoAdvance(true);
    for (int run = 0; run < 200; ++run) {
        const int commands = run % 3 + 1;
        {
            std::lock_guard lock(mutex);
            script.assign(commands - 1, 200);
            if (run % 2)
                script.push_back(500);
            else
                script.insert(script.end(), {503, 503, 503});
        }
        const int before = failuresSeen;
        for (int i = 1; i <= commands; ++i) lamp(std::to_string(i).c_str(), Value::map({{"on", "true"}}));
        queue->waitUntilIdle();
        ASSERT_EQ(failuresSeen, before + 1) << "run " << run << " with " << commands << " commands";
    }
}

}  // namespace
}  // namespace glowmere
