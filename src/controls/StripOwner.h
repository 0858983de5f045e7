#pragma once

#include <memory>
#include <string>

#include "platform/RunLoop.h"
#include "platform/Value.h"

namespace glowmere {

class LampControlStrip;

// What a strip asks of the main controller that owns it.
class StripOwner {
public:
    virtual ~StripOwner() = default;

    // While false the polling loop leaves the strips alone.
    virtual void setPollingEnabled(bool enabled) = 0;
    // Shows a group's change on the strips of its member lamps, sending nothing.
    virtual void sendSettingsToStripsInGroup(const Value& settings, const std::string& groupId) = 0;
    // Lays the strips out again (after one folded or unfolded).
    virtual void recalculateControlStripPositions() = 0;
    // Remembers the strip's folded state.
    virtual void saveUIState(LampControlStrip* strip) = 0;
    // Whether strips may fold ("allowFold").
    virtual bool allowFold() const = 0;
    // A lamp or group was renamed: the lists of lamps shown elsewhere follow.
    virtual void populateLampsPopUp() {}

    // The controller thread's loop, for delayed calls.
    virtual platform::RunLoop& runLoop() = 0;
    // Expires when the owner goes, so a delayed call never reaches a dead owner.
    virtual std::weak_ptr<void> lifetime() const = 0;
};

}  // namespace glowmere
