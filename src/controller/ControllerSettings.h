#pragma once

#include "platform/Controls.h"
#include "platform/DefaultsStore.h"

namespace glowmere {

// The settings window's controls that the main controller fills from the
// defaults and saves back. The GUI shows them; their values live here.
class ControllerSettings {
public:
    static constexpr const char* transitionMinsKey = "transitionMins";
    static constexpr const char* presetTransitionKey = "presetTransition";
    static constexpr const char* allowFoldKey = "allowFold";

    ControllerSettings();

    // Sound trigger: sensitivity in decibels of full scale, how long the
    // lamps stay on (minutes), the trigger delay (seconds), which preset.
    // The range reaches down to the meter's floor, so no stored value is
    // clamped and then saved back changed at quit.
    platform::Slider slSoundSensitivity{-160, 0, -20};
    platform::TextField soundOnPeriod{"5"};
    platform::TextField soundTriggerDelay{"1"};
    platform::PopUpButton soundTriggerPreset;
    // Show the All strip.
    platform::Button makeAllGroup{"Show a strip for all lamps"};

    // Bound straight to their defaults keys: false dusk and dawn minutes,
    // preset transition seconds, whether strips may fold.
    platform::TextField transitionMins;
    platform::TextField presetTransition;
    platform::Button allowFold{"Allow strips to fold"};

    // Shows the bound keys' values and makes the controls write them back
    // when the user changes them.
    void bindToDefaults(platform::DefaultsStore& defaults);
    // Shows the bound keys' current values again.
    void showBoundValues(const platform::DefaultsStore& defaults);
};

}  // namespace glowmere
