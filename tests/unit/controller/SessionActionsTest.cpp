// The lamps following the session: which stored choices mean what, what each
// event does to the lamps, and how long the desktop is held back.
#include "controller/SessionActions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Clock.h"

namespace glowmere {
namespace {

struct RecordingLamps final : SessionLamps {
    std::vector<std::string> calls;
    int snapshots = 0;
    bool pending = false;
    Value snapshot() override {
        calls.push_back("snapshot");
        return Value(static_cast<std::int64_t>(++snapshots));
    }
    void restore(const Value& kept) override { calls.push_back("restore " + kept.textValue()); }
    void allOff() override { calls.push_back("off"); }
    bool applyPreset(const std::string& name) override {
        calls.push_back("preset " + name);
        return name != "Gone";
    }
    bool commandsPending() override { return pending; }
};

TEST(SessionChoiceTest, StoredTextsReadAsTheirChoices) {
    struct Case {
        const char* text;
        SessionEvent event;
        const char* means;
    } cases[] = {
        {"", SessionEvent::BeforeSleep, "nothing"},
        {"nothing", SessionEvent::Lock, "nothing"},
        {"off", SessionEvent::Logout, "off"},
        {"restore", SessionEvent::AfterWake, "restore"},
        {"restore", SessionEvent::Unlock, "restore"},
        // Nothing was kept to restore before leaving: restore means nothing there.
        {"restore", SessionEvent::BeforeSleep, "nothing"},
        {"restore", SessionEvent::Logout, "nothing"},
        {"preset:Evening glow", SessionEvent::Lock, "preset:Evening glow"},
        {"preset:", SessionEvent::AfterWake, "nothing"},
        // Log-out offers only "off": the session ends before a preset matters.
        {"preset:Evening", SessionEvent::Logout, "nothing"},
        {"OFF", SessionEvent::BeforeSleep, "nothing"},
    };
    for (const Case& c : cases) EXPECT_EQ(SessionChoice::parse(c.text, c.event).text(), c.means) << c.text;
}

class SessionActionsTest : public ::testing::Test {
protected:
    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    platform::DefaultsStore defaults;
    RecordingLamps lamps;
    SessionActions actions{loop, defaults, lamps};
    std::vector<std::string> lines;

    void SetUp() override {
        actions.setObserver([this](const std::string& line) { lines.push_back(line); });
    }
    // Runs the event; whether its `done` came without the clock moving.
    bool handle(SessionEvent event) {
        bool done = false;
        actions.handle(event, [&done] { done = true; });
        loop.runPending();
        return done;
    }
};

TEST_F(SessionActionsTest, EventsDoWhatTheProfileSays) {
    struct Step {
        SessionEvent event;
        std::vector<std::string> calls;  // what the lamps were asked, in order
        std::string line;                // what the user is told ("": nothing)
    };
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> stored;
        std::vector<Step> steps;
    } cases[] = {
        {"off for sleep, back after wake",
         {{"sessionBeforeSleep", "off"}, {"sessionAfterWake", "restore"}},
         {{SessionEvent::BeforeSleep, {"snapshot", "off"}, "Lamps turned off for sleep"},
          {SessionEvent::AfterWake, {"restore 1"}, "Lamps restored after wake"}}},
        {"nothing chosen asks nothing of the bridge",
         {},
         {{SessionEvent::BeforeSleep, {"snapshot"}, ""},
          {SessionEvent::AfterWake, {}, ""},
          {SessionEvent::Lock, {"snapshot"}, ""},
          {SessionEvent::Logout, {}, ""}}},
        {"a second source's lock news is the same lock",
         {{"sessionOnLock", "off"}, {"sessionOnUnlock", "restore"}},
         {{SessionEvent::Lock, {"snapshot", "off"}, "Lamps turned off for the lock"},
          {SessionEvent::Lock, {}, ""},
          {SessionEvent::Unlock, {"restore 1"}, "Lamps restored after unlock"},
          {SessionEvent::Unlock, {}, ""}}},
        {"a restore puts back what was kept once",
         {{"sessionAfterWake", "restore"}},
         {{SessionEvent::AfterWake, {}, ""},
          {SessionEvent::BeforeSleep, {"snapshot"}, ""},
          {SessionEvent::AfterWake, {"restore 1"}, "Lamps restored after wake"},
          {SessionEvent::AfterWake, {}, ""}}},
        {"sleep while locked: each way back has its own snapshot",
         {{"sessionOnLock", "off"}, {"sessionOnUnlock", "restore"}, {"sessionAfterWake", "restore"}},
         {{SessionEvent::Lock, {"snapshot", "off"}, "Lamps turned off for the lock"},
          {SessionEvent::BeforeSleep, {"snapshot"}, ""},
          {SessionEvent::AfterWake, {"restore 2"}, "Lamps restored after wake"},
          {SessionEvent::Unlock, {"restore 1"}, "Lamps restored after unlock"}}},
        {"presets by name; a missing one is not said as done",
         {{"sessionOnUnlock", "preset:Morning"}, {"sessionBeforeSleep", "preset:Gone"}},
         {{SessionEvent::Lock, {"snapshot"}, ""},
          {SessionEvent::Unlock, {"preset Morning"}, "Preset \"Morning\" applied after unlock"},
          {SessionEvent::BeforeSleep, {"snapshot", "preset Gone"}, ""}}},
        {"log-out", {{"sessionOnLogout", "off"}}, {{SessionEvent::Logout, {"off"}, "Lamps turned off for log-out"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::DefaultsStore store;
        for (const auto& [key, value] : c.stored) store.setObject(key, std::string(value));
        RecordingLamps recorder;
        SessionActions under(loop, store, recorder);
        std::vector<std::string> told;
        under.setObserver([&told](const std::string& line) { told.push_back(line); });
        for (const Step& step : c.steps) {
            recorder.calls.clear();
            told.clear();
            bool done = false;
            under.handle(step.event, [&done] { done = true; });
            EXPECT_TRUE(done);
            EXPECT_EQ(recorder.calls, step.calls);
            EXPECT_EQ(told, step.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.line});
        }
    }
}

TEST_F(SessionActionsTest, TheDesktopWaitsForTheBridgeButNotLongerThanThreeSeconds) {
    defaults.setObject(SessionActions::beforeSleepKey, std::string("off"));
    defaults.setObject(SessionActions::afterWakeKey, std::string("restore"));

    // Answered at once (the queue was idle): released at once.
    EXPECT_TRUE(handle(SessionEvent::BeforeSleep));

    // Commands still on their way: released when they have been answered.
    lamps.pending = true;
    bool done = false;
    actions.handle(SessionEvent::AfterWake, [&done] { done = true; });
    clock.advance(std::chrono::milliseconds(500));
    loop.runPending();
    EXPECT_FALSE(done);
    lamps.pending = false;
    clock.advance(SessionActions::answerCheck);
    loop.runPending();
    EXPECT_TRUE(done);

    // A bridge that never answers holds the desktop for 3 s, no longer.
    lamps.pending = true;
    done = false;
    const auto start = clock.now();
    actions.handle(SessionEvent::BeforeSleep, [&done] { done = true; });
    while (!done && clock.now() - start < std::chrono::seconds(10)) {
        clock.advance(SessionActions::answerCheck);
        loop.runPending();
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(clock.now() - start, SessionActions::answerWait);
}

}  // namespace
}  // namespace glowmere
