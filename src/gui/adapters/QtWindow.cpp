#include "gui/adapters/QtWindow.h"

#include "gui/app/GuiContext.h"
#include "gui/widgets/WindowPlacement.h"

namespace glowmere::gui {

void QtWindow::center() {
    QPointer<QWidget> w = widget_;
    postToGui([w] {
        if (w) centerOnScreen(w);
    });
}

void QtWindow::makeKeyAndOrderFront() {
    visible_ = true;
    QPointer<QWidget> w = widget_;
    postToGui([w] {
        if (w) bringToFront(w);
    });
}

void QtWindow::orderOut() {
    visible_ = false;
    QPointer<QWidget> w = widget_;
    postToGui([w] {
        if (w) w->hide();
    });
}

}  // namespace glowmere::gui
