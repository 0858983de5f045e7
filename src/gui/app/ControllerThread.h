#pragma once

#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "platform/Clock.h"
#include "platform/RunLoop.h"

namespace glowmere::gui {

// The controller thread: one RunLoop on a thread of its own, where every piece
// of the application's logic runs. The Qt thread only posts to it.
class ControllerThread {
public:
    explicit ControllerThread(platform::Clock& clock);
    ~ControllerThread();
    ControllerThread(const ControllerThread&) = delete;
    ControllerThread& operator=(const ControllerThread&) = delete;

    platform::RunLoop& loop() { return loop_; }
    void post(std::function<void()> task) { loop_.post(std::move(task)); }

    // Ends the loop and joins the thread. A task blocked in a network call
    // holds the join up to `grace`; then stop() gives up and answers false:
    // the thread still uses the loop, so the caller must end the process
    // (main does, after the settings are saved) rather than destroy this.
    bool stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

private:
    platform::RunLoop loop_;
    std::thread thread_;
    std::shared_ptr<std::promise<void>> exited_ = std::make_shared<std::promise<void>>();
    std::shared_future<void> exitedFuture_ = exited_->get_future().share();
    bool stopped_ = false;
};

}  // namespace glowmere::gui
