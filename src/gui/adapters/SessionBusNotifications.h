#pragma once

#include <string>

#include "platform/DistributedNotificationCenter.h"

namespace glowmere::gui {

// Machine-wide notifications as signals on the session bus: a notification
// NAME with object OBJECT is the signal NAME(s OBJECT) of the object
// /org/glowmere/Glowmere, interface org.glowmere.Glowmere. Without a session
// bus nothing is sent. Safe from any thread.
class SessionBusNotifications final : public platform::DistributedNotificationCenter {
public:
    static constexpr const char* objectPath = "/org/glowmere/Glowmere";
    static constexpr const char* interfaceName = "org.glowmere.Glowmere";

    void postNotificationNameObject(const std::string& name, const std::string& object) override;
};

}  // namespace glowmere::gui
