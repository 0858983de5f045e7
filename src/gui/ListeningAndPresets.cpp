#include "gui/ListeningAndPresets.h"

#include <QDBusConnection>

#include "controller/ControllerSettings.h"
#include "controller/ManualController.h"
#include "controller/MicListener.h"
#include "controls/SettingsWindowController.h"
#include "gui/GuiContext.h"
#include "gui/PresetPanels.h"
#include "gui/QtAudioInput.h"
#include "gui/SessionBusNotifications.h"
#include "gui/SettingsWindow.h"
#include "gui/SoundIndicators.h"
#include "platform/Ui.h"
#include "schedules/ScheduleManager.h"

namespace glowmere::gui {

ListeningAndPresets::ListeningAndPresets(GuiContext& context, ManualController& manual, ScheduleManager& schedules,
                                         ControllerSettings& settings, platform::Alerts& alerts, QWidget* mainWindow,
                                         SettingsWindow& settingsWindow)
    : audioInput_(std::make_unique<QtAudioInput>()),
      notifications_(std::make_unique<SessionBusNotifications>()),
      listenButton_(std::make_shared<platform::Button>("Listen")),
      indicators_(std::make_unique<SettingsWindowController>(settings.slSoundSensitivity)),
      micListener_(std::make_unique<MicListener>(context.loop())),
      presetPanels_(std::make_unique<PresetPanels>(manual, context, mainWindow)),
      countdownPanel_(std::make_unique<ListenCountdownPanel>(manual, context)) {
    MicListener& listener = *micListener_;
    listener.setAudioInput(audioInput_.get());
    listener.setSensitivitySlider(&settings.slSoundSensitivity);
    listener.setSoundTriggerDelayField(&settings.soundTriggerDelay);
    listener.setMainToolbarListenButton(listenButton_.get());
    listener.setManualController(&manual);
    listener.setDelegate(indicators_.get());
    listener.setNotificationCenter(notifications_.get());
    indicators_->setMicListener(&listener);
    settingsWindow.setSoundIndicators(new SoundIndicators(*indicators_, context));

    manual.setAlerts(&alerts);
    manual.setPresetOption1Panel(&presetPanels_->questionPanel());
    manual.setPresetNamingPanel(&presetPanels_->namingPanel());
    manual.setPresetManagementPanel(&presetPanels_->managementPanel());
    manual.setPresetManagementTable(&presetPanels_->managementTable());
    manual.setMicListener(&listener);
    manual.setListenToolbarButton(listenButton_.get());
    manual.setListenOption1Panel(&countdownPanel_->window());
    listenButton_->setAction([&manual](platform::Control*) { manual.ListenStep1(); });

    // A listening schedule item switches the same button and listener.
    schedules.setMicListener(&listener);
    schedules.setMainToolbarListenButton(listenButton_.get());
    sleepWatcher_ = new SleepWatcher(
        QDBusConnection::systemBus(), [&context, &schedules] { context.post([&schedules] { schedules.makeWake(); }); },
        this);
}

ListeningAndPresets::~ListeningAndPresets() {
    listenButton_->setAction({});
    // The listener stops its recorder on the audio thread, which must still run.
    micListener_.reset();
}

void ListeningAndPresets::awakeFromNib() {
    micListener_->awakeFromNib();
}

}  // namespace glowmere::gui
