#include "schedules/SunTimes.h"

#include <libnova/julian_day.h>
#include <libnova/solar.h>

#include <cmath>
#include <cstdio>

namespace glowmere {

namespace {

constexpr double unixEpochJulianDay = 2440587.5;

double julianDay(std::chrono::sys_seconds t) {
    return unixEpochJulianDay + static_cast<double>(t.time_since_epoch().count()) / 86400.0;
}

std::chrono::sys_seconds fromJulianDay(double jd) {
    return std::chrono::sys_seconds(std::chrono::seconds(std::llround((jd - unixEpochJulianDay) * 86400.0)));
}

std::string localClock(std::chrono::sys_seconds t, const platform::TimeZone& zone) {
    auto local = zone.toLocal(t);
    auto sinceMidnight = local - std::chrono::floor<std::chrono::days>(local);
    long minutes = static_cast<long>(std::chrono::duration_cast<std::chrono::minutes>(sinceMidnight).count());
    char text[48];
    std::snprintf(text, sizeof text, "%02ld:%02ld", minutes / 60, minutes % 60);
    return text;
}

}  // namespace

std::optional<SunTimes> computeSunTimes(const GeoPosition& position, std::chrono::local_days day,
                                        const platform::TimeZone& zone) {
    if (!std::isfinite(position.latitude) || !std::isfinite(position.longitude)) return std::nullopt;
    ln_lnlat_posn observer{position.longitude, position.latitude};
    ln_rst_time rst{};
    // The events that follow local midnight are the day's own.
    auto midnight = zone.toSys(std::chrono::local_seconds(day));
    if (ln_get_solar_rst(julianDay(midnight), &observer, &rst) != 0) return std::nullopt;
    return SunTimes{localClock(fromJulianDay(rst.rise), zone), localClock(fromJulianDay(rst.set), zone)};
}

std::string sunServicePath(double latitude, double longitude, unsigned day, unsigned month, int offsetHours) {
    char text[128];
    std::snprintf(text, sizeof text, "/sun/%f/%f/%02u/%02u/%i/0", latitude, longitude, day, month, offsetHours);
    return text;
}

bool isTimeText(std::string_view t) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (t.size() != 5 || t[2] != ':' || !digit(t[0]) || !digit(t[1]) || !digit(t[3]) || !digit(t[4])) return false;
    int h = (t[0] - '0') * 10 + (t[1] - '0');
    int m = (t[3] - '0') * 10 + (t[4] - '0');
    return h < 24 && m < 60;
}

std::optional<SunTimes> parseSunServiceReply(std::string_view reply) {
    auto after = [&](std::string_view tag) -> std::optional<std::string> {
        auto at = reply.find(tag);
        if (at == std::string_view::npos) return std::nullopt;
        std::string_view five = reply.substr(at + tag.size(), 5);
        if (!isTimeText(five)) return std::nullopt;
        return std::string(five);
    };
    auto rise = after("<sunrise>");
    auto set = after("<sunset>");
    if (!rise || !set) return std::nullopt;
    return SunTimes{*rise, *set};
}

}  // namespace glowmere
