#include "gui/app/ControllerThread.h"

#include <chrono>
#include <exception>

namespace glowmere::gui {

ControllerThread::ControllerThread(platform::Clock& clock) : loop_(clock) {
    std::promise<void> started;
    auto ready = started.get_future();
    thread_ = std::thread([this, &started, exited = exited_] {
        // The loop's thread is whoever calls run(); post a task first so the
        // constructor returns only once the loop is really turning.
        loop_.post([&started] { started.set_value(); });
        loop_.run();
        exited->set_value();
    });
    ready.wait();
}

ControllerThread::~ControllerThread() {
    if (!stop()) std::terminate();  // never destroy a loop still in use
}

bool ControllerThread::stop(std::chrono::milliseconds grace) {
    if (stopped_) return true;
    loop_.quit();
    if (exitedFuture_.wait_for(grace) != std::future_status::ready) return false;
    stopped_ = true;
    thread_.join();
    return true;
}

}  // namespace glowmere::gui
