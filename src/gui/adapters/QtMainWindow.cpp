#include "gui/adapters/QtMainWindow.h"

#include <cmath>

#include "gui/widgets/WindowPlacement.h"
#include "gui/windows/MainWindowWidget.h"

namespace glowmere::gui {

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::View;

QtMainWindow::QtMainWindow(GuiContext& context)
    : content_(std::make_shared<View>("content", Rect{{0, 0}, {500, contentHeight}})) {
    frame_ = Rect{{0, 0}, {500, contentHeight}};
    window_ = new MainWindowWidget(context, content_, QSize(500, static_cast<int>(contentHeight)));
    window_->visibilityChanged = [this](bool shown) { visible_ = shown; };
    throbber_ = std::make_unique<QtProgressIndicator>(window_->throbber);
    window_->placeOverlays();
    loaded_ = true;
}

QtMainWindow::~QtMainWindow() {
    if (window_) delete window_.data();
}

QMainWindow* QtMainWindow::widget() const {
    return window_.data();
}
ViewWidget* QtMainWindow::contentWidget() const {
    return window_ ? window_->contentWidget : nullptr;
}
CommandBar& QtMainWindow::commandBar() const {
    return *window_->commandBar;
}
MainWindowWidget* QtMainWindow::windowWidget() const {
    return window_.data();
}

void QtMainWindow::center() {
    QPointer<MainWindowWidget> w = window_;
    postToGui([w] {
        if (w) centerOnScreen(w);
    });
}

void QtMainWindow::makeKeyAndOrderFront() {
    visible_ = true;
    QPointer<MainWindowWidget> w = window_;
    postToGui([w] {
        if (w) bringToFront(w);
    });
}

void QtMainWindow::orderOut() {
    visible_ = false;
    QPointer<MainWindowWidget> w = window_;
    postToGui([w] {
        if (w) w->hide();
    });
}

Rect QtMainWindow::frame() const {
    std::lock_guard g(mutex_);
    return frame_;
}

void QtMainWindow::setFrame(Rect frame, bool) {
    {
        std::lock_guard g(mutex_);
        // The height is the strips' and stays; the width follows the strips.
        frame.size.height = contentHeight;
        frame_ = frame;
    }
    content_->setFrameSize(frame.size);
    QPointer<MainWindowWidget> w = window_;
    const int width = static_cast<int>(std::lround(frame.size.width));
    postToGui([w, width] {
        if (!w) return;
        w->setContentSize(QSize(width, static_cast<int>(contentHeight)));
    });
}

}  // namespace glowmere::gui
