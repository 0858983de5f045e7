#include "gui/adapters/QtPopover.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "gui/widgets/ViewWidgets.h"

namespace glowmere::gui {

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::View;

class PopoverFrame : public QFrame {
public:
    PopoverFrame(bool transient) : QFrame(nullptr, transient ? Qt::Popup : Qt::Tool | Qt::FramelessWindowHint) {
        setFrameShape(QFrame::StyledPanel);
        setAttribute(Qt::WA_DeleteOnClose, false);
        setAutoFillBackground(true);
    }
    std::function<void()> onUserHide;
    bool programmaticHide = false;
    QPointer<ViewWidget> content;

protected:
    void hideEvent(QHideEvent* e) override {
        QFrame::hideEvent(e);
        if (!programmaticHide && onUserHide) onUserHide();
        programmaticHide = false;
    }
};

QtPopover::QtPopover(GuiContext& context) : context_(context) {}

QtPopover::~QtPopover() {
    std::lock_guard g(state_->mutex);
    state_->delegate = nullptr;
}

void QtPopover::setContentView(std::shared_ptr<View> view) {
    std::lock_guard g(state_->mutex);
    state_->content = std::move(view);
}

View* QtPopover::contentView() const {
    std::lock_guard g(state_->mutex);
    return state_->content.get();
}

void QtPopover::setContentSize(Size size) {
    std::lock_guard g(state_->mutex);
    state_->size = size;
    if (state_->content) state_->content->setFrameSize(size);
}

void QtPopover::setBehavior(Behavior behavior) {
    std::lock_guard g(state_->mutex);
    state_->behavior = behavior;
}

void QtPopover::setDelegate(platform::PopoverDelegate* delegate) {
    std::lock_guard g(state_->mutex);
    state_->delegate = delegate;
}

bool QtPopover::isShown() const {
    std::lock_guard g(state_->mutex);
    return state_->shown;
}

void QtPopover::dismissedByUser(GuiContext& context, std::weak_ptr<State> weak, QtPopover* popover) {
    // Closing by a click outside asks the delegate, as a close by the
    // program does; the answer cannot keep it open.
    context.post([weak, popover] {
        auto state = weak.lock();
        if (!state) return;
        platform::PopoverDelegate* delegate;
        {
            std::lock_guard g(state->mutex);
            if (!state->shown) return;
            state->shown = false;
            delegate = state->delegate;
        }
        if (delegate) delegate->popoverShouldClose(popover);
    });
}

void QtPopover::showRelativeToRectOfViewPreferredEdge(Rect, View* anchor, platform::RectEdge edge) {
    std::shared_ptr<View> content;
    Size size;
    bool transient;
    {
        std::lock_guard g(state_->mutex);
        state_->shown = true;
        content = state_->content;
        size = state_->size;
        transient = state_->behavior == Behavior::Transient;
    }
    if (!frame_.get() && !onGuiThread()) {
        // made below, on the Qt thread
    }
    GuiContext* context = &context_;
    std::weak_ptr<State> weak = state_;
    QtPopover* self = this;
    frame_.create([context, content, transient, weak, self]() {
        auto* f = new PopoverFrame(transient);
        if (content) f->content = new ViewWidget(content, *context, f);
        f->onUserHide = [context, weak, self] { dismissedByUser(*context, weak, self); };
        return f;
    });
    frame_.run([context, anchor, edge, size](PopoverFrame& f) {
        const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
        f.resize(w + 4, h + 4);
        if (f.content) f.content->setGeometry(2, 2, w, h);
        QRect target(QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry().center()
                                                      : QPoint(200, 200),
                     QSize(1, 1));
        if (QWidget* a = context->widgetFor(anchor)) target = QRect(a->mapToGlobal(QPoint(0, 0)), a->size());
        QPoint at;
        switch (edge) {
            case platform::RectEdge::MaxY:  // above (y grows upward)
                at = QPoint(target.center().x() - f.width() / 2, target.top() - f.height() - 4);
                break;
            case platform::RectEdge::MinY:
                at = QPoint(target.center().x() - f.width() / 2, target.bottom() + 4);
                break;
            case platform::RectEdge::MaxX:
                at = QPoint(target.right() + 4, target.center().y() - f.height() / 2);
                break;
            case platform::RectEdge::MinX:
                at = QPoint(target.left() - f.width() - 4, target.center().y() - f.height() / 2);
                break;
        }
        if (QScreen* s = QGuiApplication::screenAt(target.center())) {
            const QRect area = s->availableGeometry();
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - f.width())));
            at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - f.height())));
        }
        f.move(at);
        f.show();
        f.raise();
        f.activateWindow();
    });
}

void QtPopover::performClose() {
    platform::PopoverDelegate* delegate;
    {
        std::lock_guard g(state_->mutex);
        delegate = state_->delegate;
    }
    if (delegate) delegate->popoverShouldClose(this);
    close();
}

void QtPopover::close() {
    {
        std::lock_guard g(state_->mutex);
        state_->shown = false;
    }
    frame_.run([](PopoverFrame& f) {
        if (!f.isVisible()) return;
        f.programmaticHide = true;
        f.hide();
    });
}

}  // namespace glowmere::gui
