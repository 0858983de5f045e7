#include "controller/BulbSearch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "platform/Clock.h"
#include "platform/RunLoop.h"

namespace glowmere {
namespace {

using namespace std::chrono_literals;

// Answers the search request as told, and lists lamp 2 from the `appearsAt`th
// read of the lamps on (never, when 0).
class SearchingBridge final : public BridgeClient {
public:
    std::optional<Value> lightsArray() override { return std::nullopt; }
    std::optional<Value> groupsArray() override { return std::nullopt; }
    std::optional<Value> lightsArrayForGroup(const std::string&) override { return std::nullopt; }
    std::optional<Value> settingsForGroup(const std::string&) override { return std::nullopt; }
    void allOn(bool) override {}
    void lampOn(const std::string&, bool) override {}
    void groupOn(const std::string&, bool) override {}
    void sendSettingsToLamp(const Value&, const std::string&) override {}
    void sendSettingsToGroup(const Value&, const std::string&) override {}
    std::optional<std::string> sendPOSTRequestToUrl(const Value&, const std::string&) override {
        return accepts ? R"([{"success":{"/lights":"Searching for new devices"}}])"
                       : R"([{"error":{"type":1,"description":"unauthorized user"}}])";
    }
    std::optional<std::string> sendGETRequestToUrl(const std::string&) override {
        const int read = ++reads;
        return appearsAt && read >= appearsAt ? R"({"1":{"name":"Hall"},"2":{"name":"Porch"}})"
                                              : R"({"1":{"name":"Hall"}})";
    }
    bool accepts = true;
    int appearsAt = 0;
    std::atomic<int> reads{0};
};

// The controller's side: a loop on its own thread and the strips it has.
struct SearchRig {
    platform::FakeClock clock;
    platform::RunLoop loop{clock};
    std::shared_ptr<int> lifetime = std::make_shared<int>(0);
    std::set<std::string> strips{"1"};
    std::vector<bool> searching;
    int rebuilds = 0;
    std::thread thread{[this] { loop.run(); }};

    std::unique_ptr<BulbSearch> search(BridgeClient& bridge) {
        return std::make_unique<BulbSearch>(
            bridge, clock, LoopHandoff(loop, lifetime),
            BulbSearch::Strips{.has = [this](const std::string& id) { return strips.count(id) > 0; },
                               .showSearching = [this](bool on) { searching.push_back(on); },
                               .rebuild = [this] { ++rebuilds; }});
    }
    // As the controller goes: on its thread, its lifetime over first, so
    // what is still queued for the search finds it gone.
    void end(std::unique_ptr<BulbSearch> search) {
        ASSERT_TRUE(loop.postAndWait([&] {
            lifetime.reset();
            search.reset();
        }));
    }
    ~SearchRig() {
        loop.quit();
        thread.join();
    }
};

TEST(BulbSearchTest, ReadsUntilANewLampShowsThenRebuildsOnce) {
    struct Case {
        const char* what;
        bool accepts;
        int appearsAt;
        int reads;
        int rebuilds;
        std::vector<bool> searching;
    } cases[] = {
        {"found on the third read", true, 3, 3, 1, {true, false}},
        {"none found in twenty reads", true, 0, BulbSearch::attempts, 0, {true, false}},
        {"the bridge refuses to search", false, 1, 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SearchRig controller;
        SearchingBridge bridge;
        bridge.accepts = c.accepts;
        bridge.appearsAt = c.appearsAt;
        auto search = controller.search(bridge);
        ASSERT_TRUE(controller.loop.postAndWait([&] { search->start(); }));
        // Each pause of 3 s passes once the search sleeps on the clock.
        while (search->running() > 0) {
            if (controller.clock.waitForWaiters(2, 50ms)) controller.clock.advance(BulbSearch::pause);
        }
        ASSERT_TRUE(controller.loop.postAndWait([] {}));  // what the search posted before it ended
        EXPECT_EQ(bridge.reads, c.reads);
        EXPECT_EQ(controller.rebuilds, c.rebuilds);
        EXPECT_EQ(controller.searching, c.searching);
        controller.end(std::move(search));
    }
}

TEST(BulbSearchTest, StoppingEndsASearchAsleepOnTheClock) {
    SearchRig controller;
    SearchingBridge bridge;
    auto search = controller.search(bridge);
    ASSERT_TRUE(controller.loop.postAndWait([&] { search->start(); }));
    ASSERT_TRUE(controller.clock.waitForWaiters(2));
    ASSERT_TRUE(controller.loop.postAndWait([&] { search->stopAll(); }));
    EXPECT_EQ(search->running(), 0);
    EXPECT_EQ(bridge.reads, 1);
    controller.end(std::move(search));
}

}  // namespace
}  // namespace glowmere
