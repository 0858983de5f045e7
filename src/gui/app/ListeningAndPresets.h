#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/Controls.h"

namespace glowmere {
class ControllerSettings;
class ManualController;
class MicListener;
class ScheduleManager;
class SettingsWindowController;
namespace platform {
class Alerts;
}
}  // namespace glowmere

namespace glowmere::gui {

class CommandBar;
class GuiContext;
class ListenCountdownPanel;
class PresetPanels;
class QtAudioInput;
class SessionBusNotifications;
class SettingsWindow;
class SleepWatcher;

// Presets and listening in the desktop application: the microphone listener
// on the machine's audio input, the sound notification on the session bus,
// the listen button, the countdown and preset panels, the settings window's
// indicators, and the wake from sleep that re-plans the listening clock.
// Made on the Qt thread after the main controller and the schedule manager,
// and destroyed before them, after the controller thread stopped.
class ListeningAndPresets : public QObject {
    Q_OBJECT
public:
    ListeningAndPresets(GuiContext& context, ManualController& manual, ScheduleManager& schedules,
                        ControllerSettings& settings, platform::Alerts& alerts, QWidget* mainWindow,
                        SettingsWindow& settingsWindow);
    ~ListeningAndPresets() override;

    // Controller thread, at start-up: prepares the recorder.
    void awakeFromNib();
    // The command bar's Presets pull-down and Listen switch, and the listen
    // menu items (Qt thread).
    void connectCommandBar(CommandBar& bar);

    // The listen button (state 1: listening is on); its action counts down.
    platform::Button& listenButton() { return *listenButton_; }
    const std::shared_ptr<platform::Button>& sharedListenButton() const { return listenButton_; }
    MicListener& micListener() { return *micListener_; }
    // Listen and "Start listening" are disabled, with a tooltip that says
    // why, while the machine has no microphone; they follow the audio inputs
    // as they come and go (Qt thread).
    void setMicrophonePresent(bool present);
    bool microphonePresent() const { return microphonePresent_; }
    SettingsWindowController& indicators() { return *indicators_; }
    PresetPanels& presetPanels() { return *presetPanels_; }
    ListenCountdownPanel& countdownPanel() { return *countdownPanel_; }

signals:
    // After any change of the listen button, with whether listening is on
    // (Qt thread, once the command bar is connected).
    void listenButtonChanged(bool on);

private:
    GuiContext& context_;
    ManualController& manual_;
    std::unique_ptr<QtAudioInput> audioInput_;
    std::unique_ptr<SessionBusNotifications> notifications_;
    std::shared_ptr<platform::Button> listenButton_;
    std::unique_ptr<SettingsWindowController> indicators_;
    std::unique_ptr<MicListener> micListener_;
    std::unique_ptr<PresetPanels> presetPanels_;
    std::unique_ptr<ListenCountdownPanel> countdownPanel_;
    SleepWatcher* sleepWatcher_ = nullptr;
    void showMicrophonePresence();
    bool microphonePresent_ = false;
    QPointer<QAction> listenAction_, startListening_;
    QPointer<QWidget> soundIndicators_;  // in the settings window; shows the indicators above
    // Work posted to the Qt thread finds this gone (and the controller with it).
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace glowmere::gui
