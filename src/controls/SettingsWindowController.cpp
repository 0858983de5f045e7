#include "controls/SettingsWindowController.h"

#include <cstdio>

#include "platform/Log.h"

namespace glowmere {

SettingsWindowController::SettingsWindowController(platform::Slider& slSoundSensitivity)
    : slSoundSensitivity_(slSoundSensitivity) {
    slSoundSensitivity_.setAction([this](platform::Control* sender) { handleControl(sender); });
    slSensitivity.setAction([this](platform::Control*) { AdjustLightLevel(); });
    tfSoundStatus.setAlignment(platform::TextField::Alignment::Left);
}

void SettingsWindowController::windowDidBecomeMain() {
    // The marks follow the threshold the window opens with, not only the
    // slider's later moves, so they never show a threshold that is not in use.
    handleControl(&slSoundSensitivity_);
    if (!micListener_) return;
    micListener_->start();
    tfSoundStatus.setStringValue(micListener_->hasInput() ? "" : noInputMessage);
}

void SettingsWindowController::windowDidResignMain() {
    if (micListener_) micListener_->stop();
}

void SettingsWindowController::ambientSoundIs(float level) {
    soundIndicator.setDoubleValue(soundScale(level));
}

void SettingsWindowController::handleControl(platform::Control* sender) {
    if (sender != &slSoundSensitivity_) return;
    float critical = soundScale(slSoundSensitivity_.floatValue());
    soundIndicator.setCriticalValue(critical);
    soundIndicator.setWarningValue(critical - 0.5f);
}

void SettingsWindowController::AdjustLightLevel() {
    double marks = slSensitivity.doubleValue() * 7;
    sightIndicator.setCriticalValue(marks);
    sightIndicator.setWarningValue(marks);
}

void SettingsWindowController::ambientLightIs(float level) {
    if (level == 0) {
        platform::log("greying control");
        sightIndicator.setEnabled(false);
        return;
    }
    sightIndicator.setEnabled(true);
    char line[64];
    std::snprintf(line, sizeof line, "setting segment control to %f", static_cast<double>(level) * 7);
    platform::log(line);
    double marks = slSensitivity.doubleValue() * 7;
    sightIndicator.setCriticalValue(marks);
    sightIndicator.setWarningValue(marks);
    sightIndicator.setDoubleValue(static_cast<double>(level) * 7);
}

}  // namespace glowmere
