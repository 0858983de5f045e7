#include "schedules/ActionWindowController.h"

#include "platform/Log.h"
#include "schedules/Action.h"

namespace glowmere {

namespace {

void show(platform::Control* control, bool shown) {
    if (control) control->setHidden(!shown);
}

}  // namespace

void ActionWindowController::showColourControls(bool shown) {
    for (platform::Control* c :
         std::initializer_list<platform::Control*>{c_.slBrightness, c_.slColour, c_.slSaturation, c_.brightnessLabel,
                                                   c_.colourLabel, c_.saturationLabel, c_.colourBezel})
        show(c, shown);
}

bool ActionWindowController::boxTicked() const {
    return c_.btnColourBrightness && c_.btnColourBrightness->state() == 1;
}

void ActionWindowController::handleControl(platform::Control* sender) {
    if (sender && sender == c_.actionPopup) {
        auto selected = c_.actionPopup->selectedItem();
        int kind = selected ? selected->tag : Action::OnAndOff;
        // Which of the editor's controls each kind uses.
        struct Shown {
            bool offTime, onTime, colourBrightness, lamp, colour, vary;
        };
        static const Shown table[] = {
            {true, true, true, true, true, true},      // 0 On & Off
            {false, true, true, true, true, true},     // 1 On
            {true, false, false, true, false, true},   // 2 Off
            {false, true, false, true, true, true},    // 3 Colour and brightness
            {true, true, false, false, false, false},  // 4 Listening
            {false, true, false, true, false, true},   // 5 False dawn
            {true, false, false, true, false, true},   // 6 False dusk
        };
        const Shown& s = table[kind >= 0 && kind <= 6 ? kind : 0];
        for (platform::Control* c :
             {static_cast<platform::Control*>(c_.offTime), static_cast<platform::Control*>(c_.offTimeLabel),
              static_cast<platform::Control*>(c_.offTimeHelpLabel)})
            show(c, s.offTime);
        for (platform::Control* c :
             {static_cast<platform::Control*>(c_.onTime), static_cast<platform::Control*>(c_.onTimeLabel),
              static_cast<platform::Control*>(c_.onTimeHelpLabel)})
            show(c, s.onTime);
        show(c_.btnColourBrightness, s.colourBrightness);
        show(c_.btnLamp, s.lamp);
        show(c_.lampLabel, s.lamp);
        // The sliders set colour only for the colour kind, or for On & Off and
        // On when the check box asks for it; choosing a kind never overrides the box.
        kind_ = kind;
        colourBox_ = s.colourBrightness;
        showColourControls(s.colour && (kind == Action::ColourBrightness || boxTicked()));
        show(c_.btnVary, s.vary);
        if (c_.onTimeLabel) c_.onTimeLabel->setStringValue(kind == Action::Off ? "Time" : "On");
    }
    if (sender && sender == c_.btnColourBrightness) {
        platform::log("setting colour and brightness buttons");
        // The box is only shown for the kinds it applies to; an item of
        // another kind that has it set keeps its sliders out of sight.
        showColourControls(kind_ == Action::ColourBrightness || (colourBox_ && boxTicked()));
    }
}

}  // namespace glowmere
