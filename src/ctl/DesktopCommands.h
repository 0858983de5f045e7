#pragma once

#include "ctl/Command.h"

namespace glowmere::ctl {

// Commands to bind to keys or call from scripts: toggle, brighter, dimmer
// and alert (the preset steps are with the preset commands).
void addDesktopCommands(CommandTable& table);

}  // namespace glowmere::ctl
