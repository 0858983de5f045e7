#pragma once

#include "ctl/Command.h"

namespace glowmere::ctl {

// presets, preset-save, preset-apply, preset-rename and preset-delete: the
// presets the desktop application keeps, on the same stored list.
void addPresetCommands(CommandTable& table);

}  // namespace glowmere::ctl
