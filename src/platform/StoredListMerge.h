#pragma once

#include "platform/Value.h"

namespace glowmere::platform {

// Three-way merge of a stored list that several processes change (schedule
// items, presets): `base` is the list as this process last read or wrote it,
// `ours` what it holds now, `theirs` what the store holds now. Entries are
// compared by their whole content.
//
// The result is `theirs` with this process's own changes applied: entries it
// removed (or changed) since `base` are taken out, entries it added (or the
// new versions of those it changed) go where the old version stood, or at
// the end. So an entry another process added stays, one it removed stays
// removed unless this process changed it too, and when both changed the same
// entry both versions are kept: nothing is lost.
Value::List mergeStoredList(const Value::List& base, const Value::List& ours, const Value::List& theirs);

}  // namespace glowmere::platform
