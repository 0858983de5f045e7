#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>

#include "gui/app/GuiContext.h"

namespace glowmere::gui {

// The Qt half of an object that the logic creates and calls on the
// controller thread: the widget is made, changed and deleted on the Qt
// thread, in the order the calls were made, and the caller never waits.
template <class W>
class GuiPart {
public:
    GuiPart() = default;
    GuiPart(const GuiPart&) = delete;
    GuiPart& operator=(const GuiPart&) = delete;
    ~GuiPart() {
        run([](W& w) { w.deleteLater(); });
    }

    void create(std::function<W*()> make) {
        auto slot = slot_;
        dispatch([slot, make = std::move(make)] { *slot = make(); });
    }
    void run(std::function<void(W&)> work) {
        auto slot = slot_;
        dispatch([slot, work = std::move(work)] {
            if (*slot) work(**slot);
        });
    }
    // The widget, on the Qt thread only; none before it is made.
    W* get() const {
        GLOWMERE_EXPECT_THREAD(onGuiThread(), "GuiPart::get");
        return slot_->data();
    }

private:
    static void dispatch(std::function<void()> task) {
        if (onGuiThread())
            task();
        else
            postToGui(std::move(task));
    }
    std::shared_ptr<QPointer<W>> slot_ = std::make_shared<QPointer<W>>();
};

}  // namespace glowmere::gui
