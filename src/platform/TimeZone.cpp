#include "platform/TimeZone.h"

#include <cstdlib>
#include <stdexcept>

#include <date/tz.h>

namespace glowmere::platform {

TimeZone::TimeZone(const date::time_zone* zone) : zone_(zone), name_(std::string(zone->name())) {}

std::optional<TimeZone> TimeZone::named(const std::string& name) {
    try {
        return TimeZone(date::locate_zone(name));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

TimeZone TimeZone::utc() {
    return TimeZone(date::locate_zone("UTC"));
}

TimeZone TimeZone::local() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        std::string name = tz[0] == ':' ? tz + 1 : tz;
        if (auto zone = named(name)) return *zone;
    }
    try {
        return TimeZone(date::current_zone());
    } catch (const std::exception&) {
        return utc();
    }
}

std::chrono::seconds TimeZone::offsetAt(std::chrono::sys_seconds instant) const {
    return zone_->get_info(instant).offset;
}

std::chrono::local_seconds TimeZone::toLocal(std::chrono::sys_seconds instant) const {
    return std::chrono::local_seconds((instant + offsetAt(instant)).time_since_epoch());
}

std::chrono::sys_seconds TimeZone::toSys(std::chrono::local_seconds local) const {
    date::local_seconds dl(local.time_since_epoch());
    auto info = zone_->get_info(dl);
    switch (info.result) {
    case date::local_info::unique:
    case date::local_info::ambiguous:
        return std::chrono::sys_seconds((dl - info.first.offset).time_since_epoch());
    case date::local_info::nonexistent:
        // In the gap: the wall time plus the gap, i.e. the old offset applied.
        return std::chrono::sys_seconds((dl - info.first.offset).time_since_epoch());
    }
    return std::chrono::sys_seconds((dl - info.first.offset).time_since_epoch());
}

}  // namespace glowmere::platform
