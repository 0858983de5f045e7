#pragma once

#include <string>

namespace glowmere::platform {

// Notifications for every program of the user's session (on the desktop: a
// signal on the session bus). Posting never waits for listeners.
class DistributedNotificationCenter {
public:
    virtual ~DistributedNotificationCenter() = default;
    virtual void postNotificationNameObject(const std::string& name, const std::string& object) = 0;
};

}  // namespace glowmere::platform
