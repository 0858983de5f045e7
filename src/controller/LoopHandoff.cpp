#include "controller/LoopHandoff.h"

#include <condition_variable>
#include <mutex>

namespace glowmere {

void LoopHandoff::post(std::function<void()> task) const {
    loop_.post([task = std::move(task), alive = lifetime_] {
        if (alive.lock()) task();
    });
}

bool LoopHandoff::runAndWait(std::function<void()> task, std::stop_token stop) const {
    if (loop_.isLoopThread()) {
        task();
        return true;
    }
    struct Handoff {
        std::mutex mutex;
        std::condition_variable_any cv;
        bool done = false;
    };
    auto handoff = std::make_shared<Handoff>();
    loop_.post([handoff, task = std::move(task), alive = lifetime_] {
        if (alive.lock()) task();
        std::lock_guard g(handoff->mutex);
        handoff->done = true;
        handoff->cv.notify_all();
    });
    std::unique_lock lock(handoff->mutex);
    return handoff->cv.wait(lock, stop, [&] { return handoff->done; });
}

}  // namespace glowmere
