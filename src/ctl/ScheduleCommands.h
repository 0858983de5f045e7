#pragma once

#include "ctl/Command.h"

namespace glowmere::ctl {

// schedules, schedule-add, schedule-enable, schedule-disable,
// schedule-delete, schedule-import, schedule-status, schedule-delete-all and
// sun: the schedule engine's operations on the stored items.
void addScheduleCommands(CommandTable& table);

}  // namespace glowmere::ctl
