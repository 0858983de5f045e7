#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/TimeZone.h"
#include "schedules/Location.h"

namespace glowmere {

// Today's sunrise and sunset as local "HH:MM" texts.
struct SunTimes {
    std::string sunrise;
    std::string sunset;
    bool operator==(const SunTimes&) const = default;
};

// Sunrise and sunset on the local day `day` at `position`, in `zone`, seconds
// cut off. Nothing where the sun does not rise or set that day.
std::optional<SunTimes> computeSunTimes(const GeoPosition& position, std::chrono::local_days day,
                                        const platform::TimeZone& zone);

// The sun service's request path: "/sun/%f/%f/%@/%@/%i/0".
std::string sunServicePath(double latitude, double longitude, unsigned day, unsigned month, int offsetHours);

// The five characters after "<sunrise>" and after "<sunset>" of a sun service
// reply; nothing unless both are there and both are times of day.
std::optional<SunTimes> parseSunServiceReply(std::string_view reply);

// "HH:MM" with hours 00-23 and minutes 00-59.
bool isTimeText(std::string_view text);

}  // namespace glowmere
