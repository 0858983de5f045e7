#pragma once

#include <chrono>
#include <optional>

#include "platform/Clock.h"

namespace glowmere::gui {

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
