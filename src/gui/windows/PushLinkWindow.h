#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "gui/adapters/QtProgressIndicator.h"
#include "gui/adapters/QtWindow.h"
#include "gui/widgets/Throbber.h"

namespace glowmere::gui {

// The window that asks the user to press the bridge's link button while
// login waits, with its busy indicator and Cancel; when the attempts ran out
// it says so and offers Try again. Closing it cancels pairing.
class PushLinkWindow : public QWidget {
    Q_OBJECT
public:
    PushLinkWindow();
    platform::Window& window() { return window_; }
    platform::ProgressIndicator& throbber() { return indicator_; }

    // What the buttons do (Qt thread).
    std::function<void()> onCancel;
    std::function<void()> onTryAgain;

    // Login is waiting for the link button (Qt thread).
    void showWaiting();
    // Login ended without pairing (Qt thread).
    void showFailed();
    bool failed() const { return failed_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* tryAgainButton() const { return tryAgain_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fitText();
    Throbber* spinner_;
    QLabel* title_;
    QLabel* detail_;
    QPushButton* cancel_;
    QPushButton* tryAgain_;
    QtWindow window_{this};
    QtProgressIndicator indicator_;
    bool failed_ = false;
};

}  // namespace glowmere::gui
