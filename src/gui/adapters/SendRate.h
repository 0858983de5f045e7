#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/RunLoop.h"

namespace glowmere::gui {

// Hands what the user does to the controller loop. Each control has at most
// one action waiting there: a newer change to a control whose action has not
// run yet replaces the value that action will apply, so a slow controller
// thread catches up with the latest position instead of replaying every step.
class ActionForwarder {
public:
    using Apply = std::function<void(platform::Control&)>;

    explicit ActionForwarder(platform::RunLoop& loop) : loop_(loop) {}

    // On the controller thread: `apply` sets the control's value, then the
    // control's action runs (unless `sendAction` is false: typing into a field
    // only updates its text).
    void forward(const std::shared_ptr<platform::Control>& control, Apply apply, bool sendAction = true);

    // How many tasks were posted, and how many changes merged into a waiting one.
    std::size_t postedCount() const;
    std::size_t mergedCount() const;

private:
    struct Pending {
        Apply apply;
        bool sendAction = true;
    };

    platform::RunLoop& loop_;
    mutable std::mutex mutex_;
    std::map<platform::Control*, Pending> pending_;
    std::size_t posted_ = 0;
    std::size_t merged_ = 0;
};

// The send rate of a dragged slider: at most one send per interval while it
// moves, the last position at the latest one interval after it was reached,
// and always the position where it is released.
class SendThrottle {
public:
    using TimePoint = platform::Clock::TimePoint;
    using Duration = platform::Clock::Duration;

    explicit SendThrottle(Duration interval = std::chrono::milliseconds(100)) : interval_(interval) {}

    // A new position while dragging: true when it may be sent now (and is
    // counted as sent); false when it waits for `dueIn`.
    bool moved(TimePoint now);
    // How long until a waiting position may go; nothing when none waits.
    std::optional<Duration> dueIn(TimePoint now) const;
    // The timer for a waiting position fired: true when it is to be sent now.
    bool takeDue(TimePoint now);
    // The slider was let go: its position is always sent; nothing waits.
    void released(TimePoint now);
    bool hasPending() const { return pending_; }

private:
    Duration interval_;
    std::optional<TimePoint> lastSent_;
    bool pending_ = false;
};

}  // namespace glowmere::gui
