#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "controller/LoopHandoff.h"
#include "controls/BridgeClient.h"
#include "controls/LampControlStrip.h"
#include "platform/BackgroundThread.h"

namespace glowmere {

// The polling loop: every 6 seconds it reads the bridge's lamps and groups
// (and the group of all lamps, while it has a strip), rebuilds the strips
// when the bridge lists more than there are, and otherwise hands each
// reading to its strip. The loop runs on a thread of its own; the strips are
// only touched on the controller thread, through the handoff. Paused while a
// change the user made has not reached the bridge yet, so a reading taken
// before it does not undo it.
class BridgePolling {
public:
    static constexpr auto cycle = std::chrono::seconds(6);

    // What a cycle asks of the controller. `count`, `find`, `rebuild` and
    // `refreshMenus` run on the controller thread; `noteAnswer` and
    // `wantsAllStrip` on the thread that polls.
    struct Strips {
        std::function<int(bool groups)> count;
        std::function<LampControlStrip*(bool group, const std::string& id)> find;
        std::function<void()> rebuild;
        std::function<void(const std::optional<Value>& lights)> noteAnswer;
        std::function<bool()> wantsAllStrip;
        std::function<void()> refreshMenus;
    };

    BridgePolling(BridgeClient& bridge, platform::Clock& clock, LoopHandoff handoff, Strips strips);
    ~BridgePolling() { stop(); }
    BridgePolling(const BridgePolling&) = delete;
    BridgePolling& operator=(const BridgePolling&) = delete;

    // Starts the loop; its first cycle comes one period later.
    void start();
    void requestStop() { thread_.requestStop(); }
    void stop();

    // The loop's body, and one cycle of it. A cycle called from the
    // controller thread itself (tests) runs its hand-overs inline.
    void pollBridge(std::stop_token stop);
    void pollOnce(std::stop_token stop = {});
    void updateLamps(const Value& lamps);
    void updateGroups(const Value& groups);
    void updateGroupAll();

    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool enabled() const { return enabled_; }
    int loopsStarted() const { return loopsStarted_; }

    // A bridge record as a strip's settings (the label only for lamps).
    static Value syncRecord(const Value& record, bool withLabel);

private:
    // Rebuilds when the bridge lists more lamps (or groups) than there are
    // strips. Whether it rebuilt; nothing when polling is stopping.
    std::optional<bool> rebuildIfBridgeHasMore(int count, bool groups, std::stop_token stop);
    // A reading for one strip: `sync` for the strip of lamp or group `id`;
    // `whenMissing` (if any) is logged when there is no such strip.
    struct Reading {
        bool group;
        std::string id;
        Value sync;
        const char* whenMissing = nullptr;
    };
    // Hands the readings to their strips in one task on the controller
    // thread (a house of 200 lamps would wake it 200 times otherwise),
    // unless polling was paused meanwhile.
    void showReadings(std::vector<Reading> readings);

    BridgeClient& bridge_;
    platform::Clock& clock_;
    LoopHandoff handoff_;
    Strips strips_;
    std::atomic<bool> enabled_{true};
    std::atomic<int> loopsStarted_{0};
    platform::BackgroundThread thread_;
};

}  // namespace glowmere
