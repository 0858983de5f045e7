#pragma once

#include <QPoint>
#include <functional>
#include <memory>

#include "gui/widgets/ViewWidget.h"

namespace glowmere::gui {

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

}  // namespace glowmere::gui
