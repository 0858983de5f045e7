#include "controller/Listening.h"

#include <gtest/gtest.h>

#include <thread>

#include "controller/PresetRecords.h"
#include "platform/Clock.h"
#include "platform/RunLoop.h"

namespace glowmere {
namespace {

using namespace std::chrono_literals;

// The sound trigger over two lamps whose state is a number each; the
// snapshot records it, the preset sets both to 9, a restore puts it back.
struct ListeningRig {
    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    std::shared_ptr<int> lifetime = std::make_shared<int>(0);
    ControllerSettings settings;
    std::map<std::string, int> lamps{{"1", 1}, {"2", 2}};
    int applied = 0;
    std::vector<std::string> recalled;
    Listening listening{LoopHandoff(loop, lifetime), settings, nullptr,
                        Listening::Lamps{.snapshot =
                                             [this] {
                                                 Value strips = Value::emptyList();
                                                 for (const auto& [id, level] : lamps)
                                                     strips.append(Value::map({{"id", id}, {"level", level}}));
                                                 return Value::map({{presets::stripsKey, strips}});
                                             },
                                         .applyPreset =
                                             [this](int) {
                                                 ++applied;
                                                 for (auto& lamp : lamps) lamp.second = 9;
                                                 listening.stripDidChange();  // as applying a preset does
                                             },
                                         .applyScene =
                                             [this](const std::string& id) {
                                                 recalled.push_back(id);
                                                 for (auto& lamp : lamps) lamp.second = 7;
                                             },
                                         .restore =
                                             [this](const Value& record) {
                                                 lamps[record["id"].textValue()] =
                                                     static_cast<int>(record["level"].intValue());
                                             }}};
    std::thread thread{[this] { loop.run(); }};

    ListeningRig() {
        settings.soundOnPeriod.setStringValue("2");  // minutes
        settings.soundTriggerPreset.addItem("Party", 0);
    }
    ~ListeningRig() {
        onLoop([this] { lifetime.reset(); });
        loop.quit();
        thread.join();
    }
    void onLoop(std::function<void()> task) { ASSERT_TRUE(loop.postAndWait(std::move(task))); }
    void advance(platform::Clock::Duration d) {
        ASSERT_TRUE(clock.waitForWaiters(1));
        clock.advance(d);
        onLoop([] {});
    }
};

TEST(ListeningTest, TriggersSnapshotOnceAndRestoreAfterTheQuietPeriod) {
    ListeningRig c;
    c.onLoop([&] { c.listening.soundTrigger(); });
    c.advance(90s);
    // A second loud moment extends the period; the lamps as they were before
    // the first stay the snapshot.
    c.onLoop([&] { c.listening.soundTrigger(); });
    EXPECT_EQ(c.applied, 1);
    c.advance(90s);
    EXPECT_EQ(c.lamps["1"], 9) << "restored before the period after the last trigger ended";
    c.advance(30s);
    EXPECT_EQ(c.lamps, (std::map<std::string, int>{{"1", 1}, {"2", 2}}));
    EXPECT_FALSE(c.listening.restorePending());
    EXPECT_FALSE(c.listening.savedPresetDict());
}

TEST(ListeningTest, ACommandToTheLampsCancelsTheRestore) {
    ListeningRig c;
    c.onLoop([&] { c.listening.soundTrigger(); });
    c.onLoop([&] { c.listening.stripDidChange(); });
    EXPECT_FALSE(c.listening.restorePending());
    c.advance(3min);
    EXPECT_EQ(c.lamps["1"], 9);
}

TEST(ListeningTest, ABridgeSceneChosenForTheTriggerIsRecalledAndUndoneLikeAPreset) {
    ListeningRig c;
    using Item = platform::PopUpButton::Item;
    c.settings.soundTriggerPreset.setItems(
        {Item{"Party", 0, false, false, {}}, Item{{}, 1000000, true, false, {}},
         Item{"Scenes", 1000000, false, true, {}}, Item{"Reading", 1000001, false, false, "5"}},
        3);
    c.onLoop([&] { c.listening.soundTrigger(); });
    EXPECT_EQ(c.recalled, std::vector<std::string>{"5"});
    EXPECT_EQ(c.applied, 0);
    EXPECT_EQ(c.lamps["1"], 7);
    c.advance(2min);
    EXPECT_EQ(c.lamps, (std::map<std::string, int>{{"1", 1}, {"2", 2}}));
}

}  // namespace
}  // namespace glowmere
