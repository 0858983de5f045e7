#pragma once

#include <functional>
#include <memory>
#include <stop_token>

#include "platform/RunLoop.h"

namespace glowmere {

// Hands work from background threads to the controller thread. A task that
// finds its owner gone (the owner's lifetime token expired) does nothing, so
// work queued during shutdown never reaches a destroyed controller.
class LoopHandoff {
public:
    LoopHandoff(platform::RunLoop& loop, std::weak_ptr<void> lifetime) : loop_(loop), lifetime_(std::move(lifetime)) {}

    // Runs `task` on the loop's thread later.
    void post(std::function<void()> task) const;
    // Runs `task` on the loop's thread and waits for it (inline when already
    // there). False when it could not run: stop was asked for or the loop
    // has ended.
    bool runAndWait(std::function<void()> task, std::stop_token stop) const;

    platform::RunLoop& loop() const { return loop_; }

private:
    platform::RunLoop& loop_;
    std::weak_ptr<void> lifetime_;
};

}  // namespace glowmere
