#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "controller/LoopHandoff.h"
#include "controls/BridgeClient.h"
#include "platform/BackgroundThread.h"

namespace glowmere {

// The search for new bulbs: asks the bridge to look, then reads its lamps
// every 3 s, at most 20 times, until one shows up that has no strip. Each
// search runs on a thread of its own, joined as soon as it ends; what it
// learns reaches the controller thread through `Strips`.
class BulbSearch {
public:
    static constexpr int attempts = 20;
    static constexpr auto pause = std::chrono::seconds(3);

    // What a search asks of the strips, each on the controller thread.
    struct Strips {
        std::function<bool(const std::string& id)> has;
        std::function<void(bool searching)> showSearching;
        std::function<void()> rebuild;
    };

    BulbSearch(BridgeClient& bridge, platform::Clock& clock, LoopHandoff handoff, Strips strips);
    // Stops every search: destroyed on the controller thread, after the
    // handoff's lifetime ended.
    ~BulbSearch();
    BulbSearch(const BulbSearch&) = delete;
    BulbSearch& operator=(const BulbSearch&) = delete;

    // Starts a search (controller thread).
    void start();
    // Stops every search and waits for its thread (controller thread, as
    // the searches' own joins run there).
    void stopAll();
    int running() const { return running_; }
    // Search threads not yet joined (controller thread).
    std::size_t threads() const { return searches_.size(); }

private:
    struct Search {
        std::shared_ptr<std::atomic<bool>> finished;
        platform::BackgroundThread thread;
    };
    void run(std::stop_token stop);
    void joinFinished();

    BridgeClient& bridge_;
    platform::Clock& clock_;
    LoopHandoff handoff_;
    Strips strips_;
    std::atomic<int> running_{0};
    std::vector<Search> searches_;
};

}  // namespace glowmere
