#pragma once

#include <QWidget>

#include "gui/QtProgressIndicator.h"
#include "gui/QtWindow.h"
#include "gui/Throbber.h"

namespace glowmere::gui {

// The window that asks the user to press the bridge's link button while
// login waits, with its busy indicator.
class PushLinkWindow : public QWidget {
    Q_OBJECT
public:
    PushLinkWindow();
    platform::Window& window() { return window_; }
    platform::ProgressIndicator& throbber() { return indicator_; }

private:
    Throbber* spinner_;
    QtWindow window_{this};
    QtProgressIndicator indicator_;
};

}  // namespace glowmere::gui
