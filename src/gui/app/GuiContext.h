#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "gui/adapters/ActionForwarder.h"
#include "platform/Clock.h"
#include "platform/RunLoop.h"
#include "platform/ThreadCheck.h"
#include "platform/Views.h"

namespace glowmere::gui {

// True on Qt's thread, the one every widget lives on.
inline bool onGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// What every widget of the front end shares: the controller loop it posts to,
// the clock its send rate runs on, and the map from logic views to the
// widgets that show them (Qt thread only).
class GuiContext {
public:
    GuiContext(platform::RunLoop& loop, platform::Clock& clock) : loop_(loop), clock_(clock), forwarder_(loop) {}

    platform::RunLoop& loop() { return loop_; }
    platform::Clock& clock() { return clock_; }
    ActionForwarder& forwarder() { return forwarder_; }
    void post(std::function<void()> task) { loop_.post(std::move(task)); }

    void registerWidget(const platform::View* view, QWidget* widget) {
        GLOWMERE_EXPECT_THREAD(onGuiThread(), "GuiContext::registerWidget");
        widgets_[view] = widget;
    }
    void unregisterWidget(const platform::View* view, QWidget* widget) {
        GLOWMERE_EXPECT_THREAD(onGuiThread(), "GuiContext::unregisterWidget");
        auto it = widgets_.find(view);
        if (it != widgets_.end() && (it->second == widget || it->second.isNull())) widgets_.erase(it);
    }
    // The widget showing `view`, or none.
    QWidget* widgetFor(const platform::View* view) const {
        GLOWMERE_EXPECT_THREAD(onGuiThread(), "GuiContext::widgetFor");
        auto it = widgets_.find(view);
        return it == widgets_.end() ? nullptr : it->second.data();
    }

private:
    platform::RunLoop& loop_;
    platform::Clock& clock_;
    ActionForwarder forwarder_;
    std::map<const platform::View*, QPointer<QWidget>> widgets_;
};

// Runs `work` on the Qt thread without waiting, after the work posted before
// it. Work is run in slices of a few milliseconds, so Qt paints and answers
// input in between.
void postToGui(std::function<void()> work);
// Whether the slice of work postToGui is running now has had its time, so
// a task that can stop part way (building or deleting many widgets) posts
// the rest instead of going on; false outside such a slice (Qt thread).
bool guiSliceSpent();
// How many tasks postToGui was given so far (the benchmarks count them).
std::uint64_t guiTasksPosted();

}  // namespace glowmere::gui

namespace glowmere::gui {

// A widget is shown unless its view, its control or its container (a folded
// strip hides most of its controls) says otherwise.
enum class HiddenBy { View, Control, Container };
void setHiddenBy(QWidget* widget, HiddenBy who, bool hidden);

}  // namespace glowmere::gui
