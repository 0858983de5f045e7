#pragma once

#include <functional>
#include <stop_token>
#include <thread>

#include "platform/Clock.h"

namespace glowmere::platform {

// A background thread that sleeps on an injected clock. Its body receives a
// stop token to pass to Clock::sleepFor; destroying the object asks it to
// stop and joins it. Tells the clock when the body ends.
class BackgroundThread {
public:
    BackgroundThread() = default;
    BackgroundThread(Clock& clock, std::function<void(std::stop_token)> body)
        : thread_([&clock, body = std::move(body)](std::stop_token stop) {
              body(stop);
              clock.threadFinished();
          }) {}
    BackgroundThread(BackgroundThread&&) = default;
    BackgroundThread& operator=(BackgroundThread&&) = default;

    void requestStop() { thread_.request_stop(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool joinable() const { return thread_.joinable(); }

private:
    std::jthread thread_;
};

}  // namespace glowmere::platform
