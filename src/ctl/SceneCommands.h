#pragma once

#include "ctl/Command.h"

namespace glowmere::ctl {

// scenes, scene-apply, scene-save and scene-delete: the scenes the bridge
// itself keeps, which other applications and wall switches use too.
void addSceneCommands(CommandTable& table);

// Whether each of `presets` is in effect on the lamps now; all false when the
// lamps cannot be read or no paired bridge is known (nothing is searched for).
std::vector<bool> presetsInEffect(Context& ctx, const Value& presets);

}  // namespace glowmere::ctl
