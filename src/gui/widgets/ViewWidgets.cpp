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

}  // namespace glowmere::gui
