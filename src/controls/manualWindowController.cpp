#include "controls/manualWindowController.h"

#include "platform/Log.h"

namespace glowmere {

void manualWindowController::windowDidLoad() {
    platform::log("manual window did load");
}

}  // namespace glowmere
