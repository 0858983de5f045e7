#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "gui/app/GuiContext.h"
#include "platform/Views.h"

namespace glowmere {
class SettingsWindowController;
}

namespace glowmere::gui {

// The settings window's indicators: the live sound level under the
// sensitivity slider (measured while the window is the active one), a line
// when there is no microphone, and the ambient light indicator with its
// sensitivity slider.
class SoundIndicators : public QWidget {
    Q_OBJECT
public:
    SoundIndicators(SettingsWindowController& controller, GuiContext& context, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void watchWindow();

    SettingsWindowController& controller_;
    GuiContext& context_;
    QPointer<QWidget> watchedWindow_;
    bool active_ = false;
    std::vector<std::shared_ptr<platform::View>> views_;  // carriers of the controls' widgets
};

}  // namespace glowmere::gui
