#pragma once

#include "platform/Controls.h"

namespace glowmere {

// Shows and hides the action editor's controls to suit the chosen action
// kind, and the colour controls to suit the colour-and-brightness check box.
// Refers to the editor's controls, which the schedule window owns. Runs on
// the controller thread.
class ActionWindowController {
public:
    struct Controls {
        platform::PopUpButton* actionPopup = nullptr;
        platform::TextField* onTime = nullptr;
        platform::TextField* onTimeLabel = nullptr;
        platform::TextField* onTimeHelpLabel = nullptr;
        platform::TextField* offTime = nullptr;
        platform::TextField* offTimeLabel = nullptr;
        platform::TextField* offTimeHelpLabel = nullptr;
        platform::PopUpButton* btnLamp = nullptr;
        platform::TextField* lampLabel = nullptr;
        platform::Button* btnColourBrightness = nullptr;
        platform::Slider* slBrightness = nullptr;
        platform::Slider* slColour = nullptr;
        platform::Slider* slSaturation = nullptr;
        platform::TextField* brightnessLabel = nullptr;
        platform::TextField* colourLabel = nullptr;
        platform::TextField* saturationLabel = nullptr;
        platform::Control* colourBezel = nullptr;
        platform::Button* btnVary = nullptr;
    };

    explicit ActionWindowController(Controls controls) : c_(controls) {}

    // The action of the kind pop-up and of the colour-and-brightness check box.
    void handleControl(platform::Control* sender);

private:
    void showColourControls(bool shown);
    bool boxTicked() const;
    Controls c_;
    // The kind last chosen, and whether it offers the colour-and-brightness box.
    int kind_ = 0;
    bool colourBox_ = true;
};

}  // namespace glowmere
