#include "gui/app/GuiContext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <atomic>
#include <deque>
#include <mutex>

namespace glowmere::gui {

namespace {

// Work for the window thread, in the order it was posted. The first task
// posted into an empty queue posts one drain; the drain runs tasks for at
// most a slice of a frame and posts itself again when some are left, so a
// rebuild of many strips reaches the screen in slices between which Qt paints
// and handles input, instead of as thousands of queued events in one stretch.
class GuiQueue {
public:
    void push(std::function<void()> work) {
        bool postDrain = false;
        {
            std::lock_guard g(mutex_);
            tasks_.push_back(std::move(work));
            // A drain posted to an application that has gone since never runs.
            auto* app = QCoreApplication::instance();
            postDrain = !drainPosted_ || drainApp_ != app;
            drainPosted_ = true;
            drainApp_ = app;
        }
        if (postDrain) scheduleDrain();
    }

    static constexpr qint64 sliceMs = 5;

    bool sliceSpent() const { return slice_.isValid() && slice_.elapsed() >= sliceMs; }

private:
    void scheduleDrain() {
        auto* app = QCoreApplication::instance();
        if (!app) {
            std::lock_guard g(mutex_);
            tasks_.clear();
            drainPosted_ = false;
            return;
        }
        QMetaObject::invokeMethod(
            app, [this] { drain(); }, Qt::QueuedConnection);
    }

    void drain() {
        QElapsedTimer slice;
        slice.start();
        slice_ = slice;
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard g(mutex_);
                if (tasks_.empty()) {
                    drainPosted_ = false;
                    slice_.invalidate();
                    return;
                }
                if (slice.elapsed() >= sliceMs) break;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
        slice_.invalidate();
        scheduleDrain();  // the rest after Qt has had its turn
    }

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    bool drainPosted_ = false;
    QCoreApplication* drainApp_ = nullptr;
    // The drain under way, for the tasks it runs (Qt thread only); a drain
    // nested in a task's own event loop clears it.
    QElapsedTimer slice_;
};

GuiQueue& guiQueue() {
    static GuiQueue* queue = new GuiQueue;  // lives as long as any thread may post
    return *queue;
}

std::atomic<std::uint64_t> tasksPosted{0};

}  // namespace

void postToGui(std::function<void()> work) {
    if (!QCoreApplication::instance()) return;
    tasksPosted.fetch_add(1, std::memory_order_relaxed);
    guiQueue().push(std::move(work));
}

bool guiSliceSpent() {
    return guiQueue().sliceSpent();
}

std::uint64_t guiTasksPosted() {
    return tasksPosted.load(std::memory_order_relaxed);
}

void setHiddenBy(QWidget* widget, HiddenBy who, bool hidden) {
    static const char* const names[] = {"glowmereHiddenByView", "glowmereHiddenByControl", "glowmereHiddenByContainer"};
    widget->setProperty(names[static_cast<int>(who)], hidden);
    bool anyHidden = false;
    for (const char* name : names) anyHidden = anyHidden || widget->property(name).toBool();
    widget->setVisible(!anyHidden);
}

}  // namespace glowmere::gui
