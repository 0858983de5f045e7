#pragma once

#include "ctl/Command.h"

namespace glowmere::ctl {

// explore: the bridge explorer's tree; update-check: the update server's
// newest version against this one.
void addExplorerCommands(CommandTable& table);

}  // namespace glowmere::ctl
