#pragma once

#include <QLabel>
#include <QWidget>

#include "gui/adapters/QtWindow.h"
#include "gui/app/GuiContext.h"

namespace glowmere {
class ManualController;
}

namespace glowmere::gui {

// The panel that counts down before listening starts, with Skip and Cancel.
class ListenCountdownPanel : public QWidget {
    Q_OBJECT
public:
    ListenCountdownPanel(ManualController& controller, GuiContext& context, QWidget* parent = nullptr);
    platform::Window& window() { return window_; }
    QString text() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ManualController& controller_;
    GuiContext& context_;
    QLabel* label_;
    QtWindow window_{this};
};

}  // namespace glowmere::gui
