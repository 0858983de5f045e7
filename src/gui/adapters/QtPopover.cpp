#include "gui/adapters/QtPopover.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QToolBar>
#include <algorithm>

#include "gui/widgets/ViewWidgets.h"
#include "gui/widgets/WindowPlacement.h"
#include "gui/windows/CommandBar.h"

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
    std::function<void()> onEscape;
    bool programmaticHide = false;
    QPointer<ViewWidget> content;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape && onEscape) {
            e->accept();
            onEscape();
            return;
        }
        QFrame::keyPressEvent(e);
    }
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

void QtPopover::cancelledByUser(GuiContext& context, std::weak_ptr<State> weak, QtPopover* popover) {
    context.post([weak, popover] {
        auto state = weak.lock();
        if (!state) return;
        std::shared_ptr<View> content;
        {
            std::lock_guard g(state->mutex);
            if (!state->shown) return;
            content = state->content;
        }
        platform::TextField* field = nullptr;
        if (content)
            for (const auto& sub : content->subviews()) {
                platform::Control* control = sub->control();
                if (auto* button = dynamic_cast<platform::Button*>(control); button && button->title() == "Cancel") {
                    button->sendAction();
                    return;
                }
                if (!field) field = dynamic_cast<platform::TextField*>(control);
            }
        if (field) field->setStringValue("");
        popover->performClose();
    });
}

namespace {

// The command-bar button that opens a popover showing `content`, or none:
// the group popovers open under their command's button.
QWidget* commandButtonFor(const View* content, QWidget* anchor) {
    if (!content || !anchor) return nullptr;
    CommandBar::Command command;
    if (content->kind() == "makeGroupView")
        command = CommandBar::Command::MakeGroup;
    else if (content->kind() == "removeGroupView")
        command = CommandBar::Command::RemoveGroup;
    else
        return nullptr;
    auto* bar = anchor->window()->findChild<CommandBar*>();
    if (!bar || !bar->toolBar() || !bar->toolBar()->isVisible()) return nullptr;
    QWidget* button = bar->toolBar()->widgetForAction(bar->action(command));
    // Behind the toolbar's overflow arrow: under the toolbar's end instead.
    return button && button->isVisible() ? button : bar->toolBar();
}

Side sideFor(platform::RectEdge edge) {
    // The logic's y grows upward: its top edge is the greater y.
    switch (edge) {
        case platform::RectEdge::MaxY:
            return Side::Above;
        case platform::RectEdge::MinY:
            return Side::Below;
        case platform::RectEdge::MaxX:
            return Side::Right;
        case platform::RectEdge::MinX:
            return Side::Left;
    }
    return Side::Above;
}

}  // namespace

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
        f->onEscape = [context, weak, self] { cancelledByUser(*context, weak, self); };
        return f;
    });
    frame_.run([context, anchor, edge, size, content](PopoverFrame& f) {
        const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
        f.resize(w + 4, h + 4);
        if (f.content) f.content->setGeometry(2, 2, w, h);
        QWidget* a = context->widgetFor(anchor);
        Side side = sideFor(edge);
        if (QWidget* button = commandButtonFor(content.get(), a)) {
            a = button;
            side = Side::Below;
        }
        QScreen* screen = a ? a->screen() : QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
        QRect target(area.center(), QSize(1, 1));
        QRect window = area;
        if (a) {
            target = QRect(a->mapToGlobal(QPoint(0, 0)), a->size());
            window = QRect(a->window()->mapToGlobal(QPoint(0, 0)), a->window()->size());
        }
        const QPoint at = popoverRect(target, f.size(), side, window, area).topLeft();
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
