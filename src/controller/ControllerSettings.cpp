#include "controller/ControllerSettings.h"

namespace glowmere {

ControllerSettings::ControllerSettings() {
    makeAllGroup.setIdentifier("makeAllGroup");
    allowFold.setIdentifier("allowFold");
}

void ControllerSettings::showBoundValues(const platform::DefaultsStore& defaults) {
    transitionMins.setStringValue(defaults.objectForKey(transitionMinsKey).textValue());
    presetTransition.setStringValue(defaults.objectForKey(presetTransitionKey).textValue());
    allowFold.setState(defaults.boolForKey(allowFoldKey) ? 1 : 0);
}

void ControllerSettings::bindToDefaults(platform::DefaultsStore& defaults) {
    showBoundValues(defaults);
    // Stored as text, as the registered defaults are; readers take the number.
    transitionMins.setAction([&defaults](platform::Control* c) {
        defaults.setObject(transitionMinsKey, static_cast<platform::TextField*>(c)->stringValue());
    });
    presetTransition.setAction([&defaults](platform::Control* c) {
        defaults.setObject(presetTransitionKey, static_cast<platform::TextField*>(c)->stringValue());
    });
    allowFold.setAction([&defaults](platform::Control* c) {
        defaults.setObject(allowFoldKey, static_cast<platform::Button*>(c)->state() == 1);
    });
}

}  // namespace glowmere
