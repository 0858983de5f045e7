#pragma once

#include "ctl/Command.h"

namespace glowmere::ctl {

// discover, login, lights, groups, switching, settings, false dusk and dawn,
// renaming, making and removing groups, and get.
void addBridgeCommands(CommandTable& table);

}  // namespace glowmere::ctl
