#include "gui/widgets/ViewWidgets.h"

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
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "gui/widgets/ControlWidgets.h"

namespace glowmere::gui {

using platform::View;

QRect toWidgetRect(const platform::Rect& frame, double rotation, double parentHeight) {
    double x = frame.origin.x, y = frame.origin.y, w = frame.size.width, h = frame.size.height;
    if (std::lround(rotation) % 360 == 90) {
        // Turned counter-clockwise about the origin: the height now runs
        // leftward and the width upward.
        x = x - h;
        std::swap(w, h);
    }
    const double top = parentHeight - (y + h);
    return QRect(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(top)), static_cast<int>(std::lround(w)),
                 static_cast<int>(std::lround(h)));
}

namespace {

// How long one pass may spend making the widgets of new subviews.
constexpr qint64 buildSliceMs = 4;

// Deletes retired widgets a few milliseconds' worth at a time (all the strips
// of a big house at a rebuild), the rest after Qt had its turn. A widget
// whose parent went first is gone already.
void deleteInSlices(std::shared_ptr<std::vector<QPointer<QWidget>>> widgets) {
    QElapsedTimer budget;
    budget.start();
    while (!widgets->empty() && budget.elapsed() < buildSliceMs) {
        QPointer<QWidget> widget = widgets->back();
        widgets->pop_back();
        delete widget.data();
    }
    if (!widgets->empty()) postToGui([widgets] { deleteInSlices(widgets); });
}

// Attaches the view's observer so its changes reach `widget` on the Qt thread.
template <class Handler>
void observeView(View& view, QWidget* widget, Handler handler) {
    QPointer<QWidget> guard(widget);
    view.setObserver([guard, handler](View*, View::Change what) {
        postToGui([guard, handler, what] {
            if (guard) handler(what);
        });
    });
}

// A plain box: the folding rule and other decorations.
class BoxWidget : public QFrame {
public:
    explicit BoxWidget(QWidget* parent) : QFrame(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 70));
        p.drawRect(rect().adjusted(2, 0, -2, 0));
    }
};

}  // namespace

QWidget* makeViewWidget(const std::shared_ptr<View>& view, GuiContext& context, QWidget* parent) {
    QWidget* widget = nullptr;
    if (view->control()) {
        widget = makeControlWidget(view, context, parent);
        observeView(*view, widget, [widget, v = view.get(), &context](View::Change what) {
            if (what == View::Change::Hidden) setHiddenBy(widget, HiddenBy::View, v->isHidden());
            if (what == View::Change::Frame || what == View::Change::Rotation) {
                if (auto* container = qobject_cast<ViewWidget*>(widget->parentWidget())) container->placeChild(v, true);
            }
            (void)context;
        });
        setHiddenBy(widget, HiddenBy::View, view->isHidden());
        context.registerWidget(view.get(), widget);
        QObject::connect(widget, &QObject::destroyed,
                         [&context, v = view.get(), widget] { context.unregisterWidget(v, widget); });
        return widget;
    }
    if (view->kind() == "SingleControl")
        widget = new StripViewWidget(view, context, parent);
    else if (view->kind() == "box")
        widget = new BoxWidget(parent);
    else if (view->kind() == "selection")
        widget = new SelectionViewWidget(view, context, parent);
    else
        widget = new ViewWidget(view, context, parent);
    if (!qobject_cast<ViewWidget*>(widget)) {
        observeView(*view, widget, [widget, v = view.get()](View::Change what) {
            if (what == View::Change::Hidden) setHiddenBy(widget, HiddenBy::View, v->isHidden());
            if (what == View::Change::Frame)
                if (auto* container = qobject_cast<ViewWidget*>(widget->parentWidget())) container->placeChild(v, true);
        });
        setHiddenBy(widget, HiddenBy::View, view->isHidden());
        context.registerWidget(view.get(), widget);
        QObject::connect(widget, &QObject::destroyed,
                         [&context, v = view.get(), widget] { context.unregisterWidget(v, widget); });
    }
    return widget;
}

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
    syncSubviews();
}

ViewWidget::~ViewWidget() {
    context_.unregisterWidget(view_.get(), this);
    view_->setObserver(nullptr);
}

void ViewWidget::viewChanged(View::Change what) {
    switch (what) {
        case View::Change::Subviews:
            syncSubviews();
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

void ViewWidget::syncSubviews() {
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
    if (!retired->empty()) deleteInSlices(retired);
    // Many new subviews (every strip of a big house) are made a few
    // milliseconds' worth at a time; the rest follow after Qt had its turn,
    // so the window paints and answers input in between. A widget made later
    // takes the view's state as it is then.
    QElapsedTimer budget;
    budget.start();
    bool more = false;
    for (const auto& v : current) {
        if (children_.count(v.get())) continue;
        if (budget.elapsed() >= buildSliceMs) {
            more = true;
            break;
        }
        QWidget* w = makeViewWidget(v, context_, this);
        children_[v.get()] = {v, w};
        placeChild(v.get(), false);
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
            if (self) self->syncSubviews();
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

// ---- strip ----

StripViewWidget::StripViewWidget(std::shared_ptr<View> view, GuiContext& context, QWidget* parent)
    : ViewWidget(std::move(view), context, parent) {
    setAttribute(Qt::WA_StyledBackground, false);
    // The strips keep their dark panels in a light desktop too: their own
    // texts are light whatever the desktop's palette.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(230, 231, 236));
    pal.setColor(QPalette::Text, QColor(230, 231, 236));
    pal.setColor(QPalette::ButtonText, QColor(230, 231, 236));
    setPalette(pal);
    // A lamp that is off has its strip dimmed.
    if (auto* toggle = qobject_cast<QAbstractButton*>(childWidget(this->view().subviewWithTag(2)))) {
        auto dim = [this](bool on) {
            setProperty("lampOff", !on);
            update();
            for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->update();
        };
        connect(toggle, &QAbstractButton::toggled, this, dim);
        dim(toggle->isChecked());
    }
    // The colour sliders tint their grooves with the strip's current hue.
    QWidget* hue = childWidget(this->view().subviewWithTag(4));
    auto* hueSlider = qobject_cast<StripSlider*>(hue);
    for (int tag : {3, 5}) {
        if (auto* slider = qobject_cast<StripSlider*>(childWidget(this->view().subviewWithTag(tag)))) {
            if (hueSlider) {
                slider->setHueSource([hueSlider] { return hueSlider->model().doubleValue() / 65536.0; });
                connect(hueSlider, &QSlider::valueChanged, slider, qOverload<>(&QWidget::update));
            }
        }
    }
    applyFolding();
    nameControls();
}

QString StripViewWidget::name() const {
    View* labelView = view().subviewWithTag(1);
    const auto* label = labelView ? dynamic_cast<const platform::TextField*>(labelView->control()) : nullptr;
    return label ? QString::fromStdString(label->stringValue()) : QString();
}

QString StripViewWidget::controlSuffix(int tag) {
    switch (tag) {
        case 2:
            return "on";
        case 3:
            return "brightness";
        case 4:
            return "colour";
        case 5:
            return "saturation";
        case 6:
            return "rename";
        case 8:
            return "fade out";
        case 9:
            return "colour temperature";
        default:
            return {};
    }
}

void StripViewWidget::nameControls() {
    const QString strip = name();
    for (const auto& sub : view().subviews()) {
        QWidget* w = childWidget(sub.get());
        const QString suffix = controlSuffix(sub->tag());
        if (!w || suffix.isEmpty()) continue;
        w->setAccessibleName(strip + " " + suffix);
        if (sub->tag() == 6 || sub->tag() == 8) w->setToolTip(w->accessibleName());
    }
    setAccessibleName(strip);
    // Folding has no button of its own: the strip says how.
    setToolTip(strip + "\n" + foldingHint());
}

bool StripViewWidget::isAllStrip() const {
    View* captionView = view().subviewWithTag(7);
    const auto* caption = captionView ? dynamic_cast<const platform::TextField*>(captionView->control()) : nullptr;
    // Folded, a group strip's caption is blank.
    return name() == "All" && caption && (isFolded() || caption->stringValue() == "Group");
}

bool StripViewWidget::isFolded() const {
    return std::lround(view().frameRotation()) % 360 != 0;
}

double StripViewWidget::coordinateHeight() const {
    // Folded, the band's content is laid out along its (upright) height.
    return isFolded() ? width() : height();
}

void StripViewWidget::viewChanged(View::Change what) {
    ViewWidget::viewChanged(what);
    if (what == View::Change::Rotation || what == View::Change::Frame || what == View::Change::Subviews) applyFolding();
}

void StripViewWidget::applyFolding() {
    const bool folded = isFolded();
    for (const auto& sub : view().subviews()) {
        QWidget* w = childWidget(sub.get());
        if (!w) continue;
        // Folded, only the unfold (rename) button stays, at the band's foot.
        const bool keep = sub->tag() == 6;
        setHiddenBy(w, HiddenBy::Container, folded && !keep);
        if (folded && keep) {
            const int side = std::min(26, width() - 6);
            w->setGeometry((width() - side) / 2, height() - side - 6, side, side);
        } else if (!folded) {
            placeChild(sub.get(), false);
        }
    }
    update();
}

void StripViewWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF panel = QRectF(rect()).adjusted(3.5, 0.5, -3.5, -0.5);
    QLinearGradient fill(panel.topLeft(), panel.bottomLeft());
    fill.setColorAt(0, QColor(58, 61, 70));
    fill.setColorAt(1, QColor(40, 42, 49));
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    p.setBrush(fill);
    p.drawRoundedRect(panel, 10, 10);

    View* labelView = view().subviewWithTag(1);
    const auto* label = labelView ? dynamic_cast<const platform::TextField*>(labelView->control()) : nullptr;
    if (isFolded()) {
        // The name reads upward along the band.
        p.save();
        p.translate(width() / 2.0 + 5, height() - 40);
        p.rotate(-90);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(235, 236, 240));
        const QString text = label ? QString::fromStdString(label->stringValue()) : QString();
        p.drawText(QPointF(0, 0), p.fontMetrics().elidedText(text, Qt::ElideRight, height() - 52));
        p.restore();
        return;
    }
    // Captions under the three sliders.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.78);
    p.setFont(small);
    p.setPen(QColor(170, 174, 186));
    const struct {
        int tag;
        const char* text;
    } captions[] = {{3, "Bri"}, {4, "Hue"}, {5, "Sat"}, {9, "Warm"}};
    if (property("lampOff").toBool()) p.setOpacity(0.55);
    for (const auto& caption : captions) {
        View* slider = view().subviewWithTag(caption.tag);
        if (!slider || slider->isHidden() || (slider->control() && slider->control()->isHidden())) continue;
        const QRect r = toWidgetRect(slider->frame(), 0, height());
        p.drawText(QRect(r.center().x() - 24, r.bottom() + 2, 48, 14), Qt::AlignCenter, tr(caption.text));
    }
}

void StripViewWidget::mousePressEvent(QMouseEvent* event) {
    // Counted here, since a platform click count is what the logic expects.
    // The events' own times, as the desktop stamped them.
    const bool continues =
        clickCount_ > 0 &&
        event->timestamp() - lastPress_ <= static_cast<quint64>(QApplication::doubleClickInterval()) &&
        (event->position().toPoint() - lastPressPos_).manhattanLength() <= 6;
    clickCount_ = continues ? clickCount_ + 1 : 1;
    lastPress_ = event->timestamp();
    lastPressPos_ = event->position().toPoint();
    event->accept();
}

void StripViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    // Qt gives a widget the second press of a double click only as this
    // event: it is a press like the first.
    mousePressEvent(event);
}

namespace {
std::function<void(std::shared_ptr<View>, StripArrangement)>& arrangementHandler() {
    static std::function<void(std::shared_ptr<View>, StripArrangement)> handler;
    return handler;
}
}  // namespace

namespace {
std::function<bool()>& foldingAllowed() {
    static std::function<bool()> allowed;
    return allowed;
}
}  // namespace

void setStripFoldingAllowed(std::function<bool()> allowed) {
    foldingAllowed() = std::move(allowed);
}

QString StripViewWidget::foldingHint() const {
    if (isFolded()) return tr("Double-click to unfold; right-click for more");
    if (foldingAllowed() && !foldingAllowed()())
        return tr("Strips fold with a double click once \"Allow strips to fold\" is on in Settings");
    return tr("Double-click to fold or unfold; right-click for more");
}

bool StripViewWidget::event(QEvent* event) {
    // The hint follows the setting and the strip's state.
    if (event->type() == QEvent::ToolTip) setToolTip(name() + "\n" + foldingHint());
    return ViewWidget::event(event);
}

void setStripArrangementHandler(std::function<void(std::shared_ptr<platform::View>, StripArrangement)> handler) {
    arrangementHandler() = std::move(handler);
}

void StripViewWidget::contextMenuEvent(QContextMenuEvent* event) {
    // Shared, so a rebuild meanwhile does not take them from under the post.
    auto controlWithTag = [this](int tag) {
        View* sub = view().subviewWithTag(tag);
        return sub ? sub->sharedControl() : nullptr;
    };
    const std::shared_ptr<platform::Control> renameButton = controlWithTag(6), duskButton = controlWithTag(8);
    const bool folded = isFolded();
    QMenu menu(this);
    QAction* fold = menu.addAction(folded ? tr("Unfold") : tr("Fold"));
    if (!folded && foldingAllowed() && !foldingAllowed()()) {
        fold->setText(tr("Fold (allow it in Settings)"));
        fold->setEnabled(false);
    }
    // The All strip's pencil only unfolds: it has no name to change.
    QAction* rename = isAllStrip() ? nullptr : menu.addAction(tr("Rename…"));
    QAction* dusk = duskButton ? menu.addAction(tr("Dusk…")) : nullptr;
    std::map<QAction*, StripArrangement> arrangements;
    if (arrangementHandler()) {
        menu.addSeparator();
        arrangements[menu.addAction(tr("Hide"))] = StripArrangement::Hide;
        arrangements[menu.addAction(tr("Move left"))] = StripArrangement::MoveLeft;
        arrangements[menu.addAction(tr("Move right"))] = StripArrangement::MoveRight;
    }
    QAction* chosen = menu.exec(event->globalPos());
    if (!chosen) return;
    std::shared_ptr<View> strip = sharedView();
    if (auto it = arrangements.find(chosen); it != arrangements.end()) {
        if (arrangementHandler()) arrangementHandler()(strip, it->second);
        return;
    }
    if (chosen == fold) {
        // What a double click does.
        context_.post([strip] { strip->mouseUp(2); });
    } else if (chosen == rename && renameButton) {
        // Folded, the pencil unfolds first; the second press renames.
        context_.post([renameButton, folded] {
            renameButton->sendAction();
            if (folded) renameButton->sendAction();
        });
    } else if (chosen == dusk) {
        context_.post([duskButton] { duskButton->sendAction(); });
    }
}

void StripViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    context_.post([view = sharedView(), count = clickCount_] { view->mouseUp(count); });
}

}  // namespace glowmere::gui
