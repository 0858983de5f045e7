#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace date {
class time_zone;
}

namespace glowmere::platform {

// A time zone from the system's tz database (through date/tz). The local
// zone is the one TZ names when it is set, as in every POSIX program, else
// the system's setting; tests name their zones explicitly.
class TimeZone {
public:
    static std::optional<TimeZone> named(const std::string& name);
    static TimeZone utc();
    static TimeZone local();

    const std::string& name() const { return name_; }

    // Offset from UTC at an instant, summer time included.
    std::chrono::seconds offsetAt(std::chrono::sys_seconds instant) const;

    // Local wall time of an instant.
    std::chrono::local_seconds toLocal(std::chrono::sys_seconds instant) const;
    // The instant of a local wall time. A time in a summer-time gap is moved
    // forward by the gap; an ambiguous time takes the earlier instant.
    std::chrono::sys_seconds toSys(std::chrono::local_seconds local) const;

    bool operator==(const TimeZone& other) const { return name_ == other.name_; }

private:
    explicit TimeZone(const date::time_zone* zone);
    const date::time_zone* zone_;
    std::string name_;
};

}  // namespace glowmere::platform
