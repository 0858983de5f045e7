#include "gui/widgets/SoundIndicators.h"

#include <QEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "controls/SettingsWindowController.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/LevelMeterWidget.h"

namespace glowmere::gui {

namespace {
template <class T>
std::shared_ptr<platform::Control> borrowed(T& control) {
    // The settings window controller owns these controls and outlives the widgets.
    return std::shared_ptr<platform::Control>(&control, [](platform::Control*) {});
}
}  // namespace

SoundIndicators::SoundIndicators(SettingsWindowController& controller, GuiContext& context, QWidget* parent)
    : QWidget(parent), controller_(controller), context_(context) {
    // The rows carry no labels: the settings window's form gives the first
    // one its label, so it lines up with the rows around it.
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* sound = new LevelMeterWidget(controller.soundIndicator);
    sound->setObjectName("soundIndicator");
    sound->setAccessibleName(tr("Sound level"));
    sound->setToolTip(tr("What the microphone hears; a sound past the line sets off the trigger"));
    rows->addWidget(sound);

    auto statusView = std::make_shared<platform::View>("control", platform::Rect{{0, 0}, {220, 20}},
                                                       borrowed(controller.tfSoundStatus));
    statusView->setIdentifier(style::message);
    QWidget* status = makeControlWidget(statusView, context, this);
    views_.push_back(statusView);
    rows->addWidget(status);

    auto* light = new LevelMeterWidget(controller.sightIndicator);
    light->setObjectName("sightIndicator");
    light->setAccessibleName(tr("Light level"));
    light->setToolTip(tr("No light sensor reports to Glowmere"));
    rows->addWidget(light);
    auto sliderView = std::make_shared<platform::View>("control", platform::Rect{{0, 0}, {220, 24}},
                                                       borrowed(controller.slSensitivity));
    sliderView->setIdentifier(style::horizontalSlider);
    QWidget* slider = makeControlWidget(sliderView, context, this);
    slider->setAccessibleName(tr("Light sensitivity"));
    views_.push_back(sliderView);
    rows->addWidget(slider);
    // Nothing on this computer reports light: the two stay built (the
    // controller keeps their values) but out of sight.
    light->hide();
    slider->hide();
}

void SoundIndicators::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    watchWindow();
}

void SoundIndicators::watchWindow() {
    QWidget* top = window();
    if (top == watchedWindow_) return;
    if (watchedWindow_) watchedWindow_->removeEventFilter(this);
    watchedWindow_ = top;
    top->installEventFilter(this);
    if (top->isActiveWindow() && !active_) {
        active_ = true;
        context_.post([c = &controller_] { c->windowDidBecomeMain(); });
    }
}

bool SoundIndicators::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && (event->type() == QEvent::WindowActivate ||
                                      event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide)) {
        const bool active = event->type() == QEvent::WindowActivate;
        if (active != active_) {
            active_ = active;
            if (active)
                context_.post([c = &controller_] { c->windowDidBecomeMain(); });
            else
                context_.post([c = &controller_] { c->windowDidResignMain(); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace glowmere::gui
