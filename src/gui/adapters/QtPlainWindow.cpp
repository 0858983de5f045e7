#include "gui/adapters/QtPlainWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include "gui/widgets/ViewWidgets.h"
#include "gui/widgets/WindowPlacement.h"

namespace glowmere::gui {

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::View;

class QtPlainWindow::Frame : public QWidget {
public:
    Frame() : QWidget(nullptr, Qt::Tool) {}
    std::function<void()> onResignKey;
    QPointer<ViewWidget> content;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowDeactivate && onResignKey) onResignKey();
        return QWidget::event(e);
    }
};

QtPlainWindow::QtPlainWindow(GuiContext& context) : context_(context) {
    GuiContext* ctx = &context_;
    auto handler = resignKey_;
    frame_.create([ctx, handler]() -> QWidget* {
        auto* f = new Frame;
        f->onResignKey = [ctx, handler] {
            ctx->post([handler] {
                if (*handler) (*handler)();
            });
        };
        return f;
    });
}

QtPlainWindow::~QtPlainWindow() = default;

void QtPlainWindow::center() {
    frame_.run([](QWidget& w) { centerOnScreen(&w); });
}
void QtPlainWindow::makeKeyAndOrderFront() {
    visible_ = true;
    frame_.run([](QWidget& w) { bringToFront(&w); });
}
void QtPlainWindow::orderOut() {
    visible_ = false;
    frame_.run([](QWidget& w) { w.hide(); });
}

void QtPlainWindow::setContentView(std::shared_ptr<View> view) {
    {
        std::lock_guard g(mutex_);
        content_ = view;
    }
    GuiContext* ctx = &context_;
    frame_.run([ctx, view](QWidget& w) {
        auto& f = static_cast<Frame&>(w);
        if (f.content) f.content->deleteLater();
        f.content = view ? new ViewWidget(view, *ctx, &f) : nullptr;
        if (f.content) f.content->setGeometry(0, 0, f.width(), f.height());
    });
}

View* QtPlainWindow::contentView() const {
    std::lock_guard g(mutex_);
    return content_.get();
}

void QtPlainWindow::setContentSize(Size size) {
    {
        std::lock_guard g(mutex_);
        size_ = size;
        if (content_) content_->setFrameSize(size);
    }
    frame_.run([size](QWidget& w) {
        w.resize(static_cast<int>(size.width), static_cast<int>(size.height));
        auto& f = static_cast<Frame&>(w);
        if (f.content) f.content->setGeometry(0, 0, w.width(), w.height());
    });
}

Size QtPlainWindow::contentSize() const {
    std::lock_guard g(mutex_);
    return size_;
}

void QtPlainWindow::setFrameOrigin(Point origin) {
    Size size = contentSize();
    frame_.run([origin, size](QWidget& w) {
        // Screen points have y growing upward from the bottom of the screen.
        QScreen* s = QGuiApplication::primaryScreen();
        const int screenHeight = s ? s->geometry().height() : 0;
        w.move(static_cast<int>(origin.x), static_cast<int>(screenHeight - origin.y - size.height));
    });
}

void QtPlainWindow::setResizable(bool resizable) {
    Size size = contentSize();
    frame_.run([resizable, size](QWidget& w) {
        if (resizable)
            w.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        else
            w.setFixedSize(static_cast<int>(size.width), static_cast<int>(size.height));
    });
}

std::optional<Point> QtPlainWindow::convertBaseToScreen(const View* view, Point point) const {
    // The window's base coordinates start at its lower-left corner; the
    // screen's at the screen's. Read from the logic's own geometry, so the
    // answer needs no wait for the Qt thread.
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return std::nullopt;
    const View* root = view;
    double x = point.x, y = point.y;
    while (root && root->superview()) root = root->superview();
    if (root) {
        x += root->frame().origin.x;
        y += root->frame().origin.y;
    }
    return Point{x, y};
}

void QtPlainWindow::setResignKeyHandler(std::function<void()> handler) {
    *resignKey_ = std::move(handler);
}

}  // namespace glowmere::gui
