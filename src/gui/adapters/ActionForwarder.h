#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

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

}  // namespace glowmere::gui
