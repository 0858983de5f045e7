#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QScrollArea>
#include <functional>
#include <memory>

#include "gui/CommandBar.h"
#include "gui/GuiContext.h"
#include "gui/Throbber.h"
#include "gui/ViewWidgets.h"
#include "platform/Views.h"

namespace glowmere::gui {

// The Qt window that shows the strips: the command bar, and below it the
// dark strip surface with the logic's content view in a scroll area (strips
// that do not fit scroll sideways), with the throbber and wait text laid
// over it (Qt thread).
class MainWindowWidget : public QMainWindow {
public:
    MainWindowWidget(GuiContext& context, std::shared_ptr<platform::View> content, QSize contentSize);

    // The strips' area changed size: the surface follows, and the window
    // grows or shrinks to show all of it where the screen has room.
    void setContentSize(QSize size);
    QSize contentSize() const { return contentSize_; }
    // The window size that shows every strip without scrolling.
    QSize preferredSize() const;
    // Lays the throbber and wait text over the visible part of the surface.
    void placeOverlays();

    CommandBar* commandBar;
    QScrollArea* scrollArea;
    QWidget* surface;
    ViewWidget* contentWidget;
    Throbber* throbber;
    QLabel* waiting;
    std::function<void(bool)> visibilityChanged;

protected:
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void fitSurface();
    QSize contentSize_;
};

}  // namespace glowmere::gui
