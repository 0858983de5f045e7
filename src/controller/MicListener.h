#pragma once

#include <chrono>
#include <memory>

#include "controls/SettingsWindowController.h"
#include "platform/AudioRecorder.h"
#include "platform/Controls.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/RunLoop.h"
#include "schedules/MicListening.h"

namespace glowmere {

class ManualController;

// Measures the microphone ten times a second while listening is on or the
// settings window watches the level. While armed (the listen button on) a
// level above the sensitivity threshold is announced to the session and the
// main controller is asked to run its sound trigger after the trigger delay.
// Runs on the controller thread, its tick a repeating timer of the
// controller's loop. Nothing it hears is stored.
class MicListener final : public MicListening, public SoundLevelSource {
public:
    static constexpr auto levelInterval = std::chrono::milliseconds(100);
    static constexpr const char* soundDetectedName = "GlowmereSoundDetected";
    static constexpr const char* soundDetectedObject = "Glowmere";
    static constexpr const char* noInputLog = "no microphone available; listening does nothing";

    explicit MicListener(platform::RunLoop& loop);
    ~MicListener() override;
    MicListener(const MicListener&) = delete;
    MicListener& operator=(const MicListener&) = delete;

    // Outlets; any may be left unset.
    void setAudioInput(platform::AudioInput* input) { audioInput_ = input; }
    void setSensitivitySlider(platform::Slider* slider) { slSensitivity_ = slider; }
    void setSoundTriggerDelayField(platform::TextField* field) { soundTriggerDelay_ = field; }
    void setMainToolbarListenButton(platform::Button* button) { mainToolbarListenButton_ = button; }
    void setManualController(ManualController* controller) { manualController_ = controller; }
    void setDelegate(AmbientSoundDelegate* delegate) { delegate_ = delegate; }
    void setNotificationCenter(platform::DistributedNotificationCenter* center) { notifications_ = center; }

    // Makes the recorder (none when the machine has no input).
    void awakeFromNib();
    // Starts measuring (replacing a tick already running).
    void start() override;
    // Stops measuring, unless listening is switched on.
    void stop() override;
    bool hasInput() const override { return recorder_ && inputWorks_; }
    // Starts or stops as the listen button says; only the listen button
    // itself or the main controller may ask.
    void handleControl(platform::Control* sender);
    void handleControl(ManualController* sender);
    float floatValue() const { return currentValue_; }
    // One tick: read the level, report it, trigger when armed and loud.
    void levelTimerCallback();

    bool isMeasuring() const { return levelTimer_ != 0; }
    platform::AudioRecorder* recorder() const { return recorder_.get(); }

private:
    bool makeRecorder();
    void startOrStop();

    platform::RunLoop& loop_;
    platform::AudioInput* audioInput_ = nullptr;
    platform::Slider* slSensitivity_ = nullptr;
    platform::TextField* soundTriggerDelay_ = nullptr;
    platform::Button* mainToolbarListenButton_ = nullptr;
    ManualController* manualController_ = nullptr;
    AmbientSoundDelegate* delegate_ = nullptr;
    platform::DistributedNotificationCenter* notifications_ = nullptr;

    std::unique_ptr<platform::AudioRecorder> recorder_;
    bool inputWorks_ = true;
    bool toldNoInput_ = false;
    int channel_ = 1;
    platform::RunLoop::TimerId levelTimer_ = 0;
    float currentValue_ = -160;
};

}  // namespace glowmere
