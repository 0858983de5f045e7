#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "gui/app/GuiContext.h"
#include "platform/Views.h"

namespace glowmere::gui {

// Converts the logic's geometry (origin at the lower left, y up) into a
// widget rectangle inside a parent `parentHeight` high. A view rotated by 90
// degrees turns about its origin, so its box stands up to the left of it.
QRect toWidgetRect(const platform::Rect& frame, double rotation, double parentHeight);

// Shows one logic view and, recursively, its subviews: containers become a
// ViewWidget, views with a control the matching control widget. Follows the
// view's changes (frame, hidden, subviews) on the Qt thread.
class ViewWidget : public QWidget {
    Q_OBJECT
public:
    ViewWidget(std::shared_ptr<platform::View> view, GuiContext& context, QWidget* parent = nullptr);
    ~ViewWidget() override;

    platform::View& view() const { return *view_; }
    std::shared_ptr<platform::View> sharedView() const { return view_; }
    // Children follow their frames; called after any change.
    void syncSubviews();
    void placeChild(platform::View* child, bool allowAnimation);
    // Height the children's y-up coordinates are measured in.
    virtual double coordinateHeight() const { return height(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    virtual void viewChanged(platform::View::Change what);
    QWidget* childWidget(const platform::View* child) const;
    GuiContext& context_;

private:
    std::shared_ptr<platform::View> view_;
    std::map<const platform::View*, std::pair<std::shared_ptr<platform::View>, QWidget*>> children_;
    // The children in the stacking order last set, bottom first.
    std::vector<QPointer<QWidget>> stacked_;
};

// Makes the widget for any view (container or control) and keeps it in step.
QWidget* makeViewWidget(const std::shared_ptr<platform::View>& view, GuiContext& context, QWidget* parent);

// A control strip: a rounded panel with the strip's controls, reporting
// clicks (with their count) to the logic, and drawn as a narrow upright band
// when folded.
class StripViewWidget : public ViewWidget {
    Q_OBJECT
public:
    StripViewWidget(std::shared_ptr<platform::View> view, GuiContext& context, QWidget* parent = nullptr);
    bool isFolded() const;
    double coordinateHeight() const override;
    // The strip's full name ("All" for the All strip).
    QString name() const;
    // Gives every control its accessible name: the strip's name and what the
    // control is ("Hall on", "Hall brightness", ...). Run again on renames.
    Q_INVOKABLE void nameControls();
    // The strip of the whole bridge, whose pencil only unfolds.
    bool isAllStrip() const;
    // The accessible name's suffix of the control with `tag`.
    static QString controlSuffix(int tag);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;
    void viewChanged(platform::View::Change what) override;

private:
    void applyFolding();
    // The tooltip's line on folding, as things stand.
    QString foldingHint() const;
    quint64 lastPress_ = 0;
    QPoint lastPressPos_;
    int clickCount_ = 0;
};

// What a strip's context menu asks of the strips' arrangement, handed (on
// the Qt thread) to what the application sets here; without it the menu
// offers no such entries.
enum class StripArrangement { Hide, MoveLeft, MoveRight };
// Whether the user allows strips to fold (read on the Qt thread); without
// it they may.
void setStripFoldingAllowed(std::function<bool()> allowed);
void setStripArrangementHandler(std::function<void(std::shared_ptr<platform::View>, StripArrangement)> handler);

// A row of selection checkboxes laid over the strips; transparent apart from
// its checkboxes.
class SelectionViewWidget : public ViewWidget {
    Q_OBJECT
public:
    using ViewWidget::ViewWidget;
};

}  // namespace glowmere::gui
