#pragma once

#include <QLabel>
#include <QMainWindow>
#include <functional>
#include <memory>

#include "gui/GuiContext.h"
#include "gui/Throbber.h"
#include "gui/ViewWidgets.h"
#include "platform/Views.h"

namespace glowmere::gui {

// The Qt window that shows the strips: a dark strip surface with the logic's
// content view, and the throbber and wait text laid over it (Qt thread).
class MainWindowWidget : public QMainWindow {
public:
    MainWindowWidget(GuiContext& context, std::shared_ptr<platform::View> content);
    // Lays the content, throbber and wait text out over the strip surface.
    void placeOverlays();

    ViewWidget* contentWidget;
    Throbber* throbber;
    QLabel* waiting;
    std::function<void(bool)> visibilityChanged;

protected:
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;
};

}  // namespace glowmere::gui
