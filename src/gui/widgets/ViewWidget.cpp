#include "gui/widgets/ViewWidget.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>
#include "gui/widgets/ViewWidgets.h"

namespace glowmere::gui {

using platform::View;

namespace {

// How long one pass may spend making the widgets of new subviews.
constexpr qint64 buildSliceMs = 3;

// Deletes retired widgets a few milliseconds' worth at a time (all the strips
// of a big house at a rebuild), the rest after Qt had its turn. A widget
// whose parent went first is gone already.
void deleteInSlices(std::shared_ptr<std::vector<QPointer<QWidget>>> widgets) {
    QElapsedTimer budget;
    budget.start();
    for (bool first = true; !widgets->empty(); first = false) {
        if (!first && (budget.elapsed() >= buildSliceMs || guiSliceSpent())) break;
        QPointer<QWidget> widget = widgets->back();
        widgets->pop_back();
        delete widget.data();
    }
    if (!widgets->empty()) postToGui([widgets] { deleteInSlices(widgets); });
}

}  // namespace

ViewWidget::ViewWidget(std::shared_ptr<View> view, GuiContext& context, QWidget* parent)
    : QWidget(parent), context_(context), view_(std::move(view)) {
    context_.registerWidget(view_.get(), this);
    // A rebuild adds and removes every strip one by one: one sync reads the
    // subviews as they are when it runs, so while one is on its way further
    // changes of the subviews post nothing.
    auto syncPending = std::make_shared<std::atomic<bool>>(false);
    QPointer<ViewWidget> guard(this);
    view_->setObserver([guard, syncPending](View*, View::Change what) {
        const bool subviews = what == View::Change::Subviews;
        if (subviews && syncPending->exchange(true)) return;
        postToGui([guard, syncPending, subviews, what] {
            // Cleared before the sync reads the subviews: a change after
            // that read posts a sync of its own.
            if (subviews) syncPending->store(false);
            if (guard) guard->viewChanged(what);
        });
    });
    setHiddenBy(this, HiddenBy::View, view_->isHidden());
    const auto frame = view_->frame();
    resize(static_cast<int>(frame.size.width), static_cast<int>(frame.size.height));
    // Made as part of its container (a strip and its controls), it is
    // complete when made: a strip wires its controls to each other.
    syncSubviews(qobject_cast<ViewWidget*>(parent) ? Slicing::Whole : Slicing::Sliced);
}

ViewWidget::~ViewWidget() {
    context_.unregisterWidget(view_.get(), this);
    view_->setObserver(nullptr);
}

void ViewWidget::viewChanged(View::Change what) {
    switch (what) {
        case View::Change::Subviews:
            syncSubviews(Slicing::Sliced);
            break;
        case View::Change::Hidden:
            setHiddenBy(this, HiddenBy::View, view_->isHidden());
            break;
        case View::Change::Frame:
        case View::Change::Rotation:
            if (auto* container = qobject_cast<ViewWidget*>(parentWidget()))
                container->placeChild(view_.get(), what == View::Change::Frame);
            else if (!isWindow() && !parentWidget())
                resize(static_cast<int>(view_->frame().size.width), static_cast<int>(view_->frame().size.height));
            break;
        case View::Change::Removed:
            break;
    }
}

QWidget* ViewWidget::childWidget(const View* child) const {
    auto it = children_.find(child);
    return it == children_.end() ? nullptr : it->second.second;
}

void ViewWidget::syncSubviews(Slicing slicing) {
    const auto current = view_->subviews();
    std::map<const View*, std::shared_ptr<View>> wanted;
    for (const auto& v : current) wanted[v.get()] = v;
    auto retired = std::make_shared<std::vector<QPointer<QWidget>>>();
    for (auto it = children_.begin(); it != children_.end();) {
        if (!wanted.count(it->first)) {
            // Removed from the logic's tree: the widget goes, and the view's
            // observer with it (the logic may keep the view).
            if (it->second.first->superview() == nullptr) it->second.first->setObserver(nullptr);
            // Hidden as it is deleted, in slices: hiding or disabling every
            // strip of a rebuild at once costs the window thread a long
            // stretch.
            retired->push_back(it->second.second);
            it = children_.erase(it);
        } else {
            ++it;
        }
    }
    if (!retired->empty()) {
        // The retired widgets in sight go first, at once: left until their
        // turn, they would be painted again under the new ones after every
        // slice. The rest go a slice at a time after Qt had its turn.
        const QRect inSight = visibleRegion().boundingRect();
        std::stable_partition(retired->begin(), retired->end(), [&inSight](const QPointer<QWidget>& w) {
            return !w || !w->geometry().intersects(inSight);
        });
        while (!retired->empty() && retired->back() && retired->back()->geometry().intersects(inSight)) {
            delete retired->back().data();
            retired->pop_back();
        }
        if (!retired->empty()) postToGui([retired] { deleteInSlices(retired); });
    }
    // Many new subviews (every strip of a big house) are made a few
    // milliseconds' worth at a time, within the window thread's current
    // slice of posted work; the rest follow after Qt had its turn, so the
    // window paints and answers input in between. A widget made later takes
    // the view's state as it is then.
    QElapsedTimer budget;
    budget.start();
    bool more = false;
    bool madeOne = false;
    for (const auto& v : current) {
        if (children_.count(v.get())) continue;
        if (slicing == Slicing::Sliced && madeOne && (budget.elapsed() >= buildSliceMs || guiSliceSpent())) {
            more = true;
            break;
        }
        QWidget* w = makeViewWidget(v, context_, this);
        children_[v.get()] = {v, w};
        placeChild(v.get(), false);
        madeOne = true;
    }
    // Stacking follows the subview order: later subviews lie on top. Only
    // what differs from the order set last time is raised (a new widget
    // starts on top), so adding strips does not restack all of them.
    std::vector<QPointer<QWidget>> order;
    order.reserve(current.size());
    for (const auto& v : current)
        if (QWidget* w = childWidget(v.get())) order.emplace_back(w);
    std::size_t same = 0;
    while (same < order.size() && same < stacked_.size() && order[same] == stacked_[same]) ++same;
    for (std::size_t i = same; i < order.size(); ++i) order[i]->raise();
    stacked_ = std::move(order);
    if (more)
        postToGui([self = QPointer<ViewWidget>(this)] {
            if (self) self->syncSubviews(Slicing::Sliced);
        });
}

void ViewWidget::placeChild(View* child, bool allowAnimation) {
    QWidget* w = childWidget(child);
    if (!w) return;
    QRect target = toWidgetRect(child->frame(), child->frameRotation(), coordinateHeight());
    // A row of tick boxes lies in the margin under the strips, not across
    // their lower edge.
    if (child->kind() == "selection") target.moveBottom(static_cast<int>(coordinateHeight()) - 1);
    // A slide still under way would end where the view was before.
    for (auto* running : w->findChildren<QPropertyAnimation*>(QString(), Qt::FindDirectChildrenOnly)) {
        running->stop();
        running->deleteLater();
    }
    if (allowAnimation && child->lastMoveAnimated() && w->isVisible() && w->size() == target.size() &&
        w->pos() != target.topLeft()) {
        auto* animation = new QPropertyAnimation(w, "pos", w);
        animation->setDuration(180);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->setEndValue(target.topLeft());
        animation->start(QAbstractAnimation::DeleteWhenStopped);
        return;
    }
    w->setGeometry(target);
}

void ViewWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->oldSize().height() != event->size().height())
        for (const auto& [view, entry] : children_) placeChild(const_cast<View*>(view), false);
}

}  // namespace glowmere::gui
