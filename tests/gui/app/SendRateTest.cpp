#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "gui/adapters/ActionForwarder.h"
#include "gui/adapters/SendThrottle.h"
#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/RunLoop.h"

namespace glowmere::gui {
namespace {

using namespace std::chrono_literals;
using platform::Control;
using platform::Slider;

struct ForwarderTest : ::testing::Test {
    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    ActionForwarder forwarder{loop};
    std::shared_ptr<Slider> slider = std::make_shared<Slider>(0, 255, 0);
    std::vector<double> actions;  // the value each action saw

    void SetUp() override {
        slider->setAction([this](Control* sender) { actions.push_back(static_cast<Slider*>(sender)->doubleValue()); });
    }
    void move(double value) {
        forwarder.forward(slider, [value](Control& c) { static_cast<Slider&>(c).setDoubleValue(value); });
    }
};

TEST_F(ForwarderTest, ChangesWaitingForTheLoopMergeIntoOneActionWithTheNewestValue) {
    move(10);
    move(20);
    move(30);
    EXPECT_TRUE(actions.empty()) << "nothing runs before the controller loop does";
    loop.runPending();
    EXPECT_EQ(actions, (std::vector<double>{30}));
    EXPECT_EQ(forwarder.postedCount(), 1u);
    EXPECT_EQ(forwarder.mergedCount(), 2u);
}

TEST_F(ForwarderTest, AChangeAfterTheActionRanIsPostedAnew) {
    move(10);
    loop.runPending();
    move(40);
    loop.runPending();
    EXPECT_EQ(actions, (std::vector<double>{10, 40}));
    EXPECT_EQ(forwarder.postedCount(), 2u);
}

TEST_F(ForwarderTest, ControlsAreMergedSeparately) {
    auto other = std::make_shared<Slider>(0, 255, 0);
    int otherActions = 0;
    other->setAction([&](Control*) { ++otherActions; });
    move(5);
    forwarder.forward(other, [](Control& c) { static_cast<Slider&>(c).setDoubleValue(7); });
    move(6);
    loop.runPending();
    EXPECT_EQ(actions, (std::vector<double>{6}));
    EXPECT_EQ(otherActions, 1);
    EXPECT_EQ(other->doubleValue(), 7);
}

TEST_F(ForwarderTest, TypingMergedWithAnActionStillActs) {
    auto field = std::make_shared<platform::TextField>();
    std::vector<std::string> seen;
    field->setAction([&](Control* c) { seen.push_back(static_cast<platform::TextField*>(c)->stringValue()); });
    auto type = [&](std::string text, bool act) {
        forwarder.forward(
            field, [text](Control& c) { static_cast<platform::TextField&>(c).setStringValue(text); }, act);
    };
    type("Des", false);
    loop.runPending();
    EXPECT_TRUE(seen.empty()) << "typing alone sends no action";
    EXPECT_EQ(field->stringValue(), "Des");
    type("Desk", true);    // Return
    type("Desk!", false);  // typed before the loop ran: the waiting action keeps acting
    loop.runPending();
    EXPECT_EQ(seen, (std::vector<std::string>{"Desk!"}));
}

// The throttle, as a table of drag events: time since start, and whether the
// position may go at once.
struct Step {
    int atMs;
    enum { Move, Timer, Release } what;
    bool sends;
};

TEST(SendThrottleTest, DraggingSendsAtMostEveryHundredMillisecondsAndTheTrailingPosition) {
    const std::vector<Step> steps = {
        {0, Step::Move, true},                                  // the first movement goes at once
        {30, Step::Move, false},                                // too soon: waits
        {60, Step::Move, false},                                // still waiting (the newest position)
        {100, Step::Timer, true},                               // its time has come
        {110, Step::Move, false},   {150, Step::Timer, false},  // a timer firing early sends nothing
        {200, Step::Timer, true},   {350, Step::Move, true},    // after a pause, at once again
        {360, Step::Release, true},                             // the release always goes
        {365, Step::Move, false},                               // a new drag right after the release waits its turn
    };
    SendThrottle throttle;
    const auto start = platform::FakeClock::defaultStart();
    int sent = 0;
    for (const auto& step : steps) {
        const auto now = start + std::chrono::milliseconds(step.atMs);
        bool sends = false;
        switch (step.what) {
            case Step::Move:
                sends = throttle.moved(now);
                break;
            case Step::Timer:
                sends = throttle.takeDue(now);
                break;
            case Step::Release:
                throttle.released(now);
                sends = true;
                break;
        }
        EXPECT_EQ(sends, step.sends) << "at " << step.atMs << " ms";
        sent += sends;
    }
    EXPECT_EQ(sent, 5);
}

TEST(SendThrottleTest, DueInSaysWhenTheWaitingPositionMayGo) {
    SendThrottle throttle;
    const auto t0 = platform::FakeClock::defaultStart();
    EXPECT_FALSE(throttle.dueIn(t0)) << "nothing waits";
    ASSERT_TRUE(throttle.moved(t0));
    ASSERT_FALSE(throttle.moved(t0 + 40ms));
    EXPECT_EQ(throttle.dueIn(t0 + 40ms), std::optional<platform::Clock::Duration>(60ms));
    EXPECT_EQ(throttle.dueIn(t0 + 150ms), std::optional<platform::Clock::Duration>(0ms));
    throttle.released(t0 + 150ms);
    EXPECT_FALSE(throttle.hasPending());
    EXPECT_FALSE(throttle.takeDue(t0 + 500ms)) << "a release leaves nothing waiting";
}

TEST(SendThrottleTest, ThreeSecondsOfDraggingAtSixtyMovesASecondSendsAtMostThirty) {
    SendThrottle throttle;
    const auto t0 = platform::FakeClock::defaultStart();
    int sent = 0;
    for (int ms = 0; ms < 3000; ms += 16) {
        const auto now = t0 + std::chrono::milliseconds(ms);
        sent += throttle.takeDue(now);
        sent += throttle.moved(now);
    }
    EXPECT_LE(sent, 30);
    EXPECT_GE(sent, 25) << "the drag must not stall either";
}

}  // namespace
}  // namespace glowmere::gui
