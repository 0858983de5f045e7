#pragma once

#include "platform/Controls.h"
#include "platform/LevelIndicator.h"

namespace glowmere {

// What the settings window asks of the microphone listener: measure, or stop
// measuring (which it only does while listening is off).
class SoundLevelSource {
public:
    virtual ~SoundLevelSource() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    // False when the machine gave no working input the last time it was asked.
    virtual bool hasInput() const = 0;
};

// Takes every level the listener measures.
class AmbientSoundDelegate {
public:
    virtual ~AmbientSoundDelegate() = default;
    virtual void ambientSoundIs(float level) = 0;
};

// The settings window's indicators: the live sound level, shown while the
// window is the main window so the user can set the sound trigger's
// sensitivity while watching what the microphone hears, and the ambient
// light indicator with its own sensitivity slider. Runs on the controller
// thread; the window mirrors the controls.
class SettingsWindowController final : public AmbientSoundDelegate {
public:
    static constexpr const char* noInputMessage = "No microphone found: listening does nothing";

    // The sensitivity slider is the sound trigger's threshold (stored as
    // "listenerSensitivity"); this object takes its action.
    explicit SettingsWindowController(platform::Slider& slSoundSensitivity);
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    void setMicListener(SoundLevelSource* listener) { micListener_ = listener; }

    // A level L in decibels of full scale shows as (L + 50) / 60 x 10:
    // -50 dB is empty, +10 dB full, 6 dB a unit.
    platform::LevelIndicator soundIndicator{0, 10};
    // The light level times 7.
    platform::LevelIndicator sightIndicator{0, 7};
    // The light sensitivity, on the light level's scale.
    platform::Slider slSensitivity{0, 1, 0.5};
    // Says when the machine has no microphone to listen with.
    platform::TextField tfSoundStatus;

    // The window became or stopped being the main window.
    void windowDidBecomeMain();
    void windowDidResignMain();

    void ambientSoundIs(float level) override;
    // The sound sensitivity slider's action: moves the sound marks.
    void handleControl(platform::Control* sender);
    // The light sensitivity slider's action: moves the light marks.
    void AdjustLightLevel();
    // For a light watcher; nothing in the system reports light levels.
    void ambientLightIs(float level);
    void kickOffWatching() {}

    static float soundScale(float level) { return (level + 50.0f) / 60.0f * 10.0f; }

private:
    platform::Slider& slSoundSensitivity_;
    SoundLevelSource* micListener_ = nullptr;
};

}  // namespace glowmere
