#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/DefaultsStore.h"

namespace glowmere {

struct GeoPosition {
    double latitude = 0;            // degrees, north positive
    double longitude = 0;           // degrees, east positive
    double horizontalAccuracy = 0;  // metres; coarse sources report large values
    bool operator==(const GeoPosition&) const = default;
};

// Where the computer is, for sunrise and sunset.
class Location {
public:
    virtual ~Location() = default;
    virtual std::optional<GeoPosition> currentPosition() = 0;
};

// The position the user set in the defaults ("latitude" and "longitude"),
// else the coordinates the time-zone table gives for the local zone.
class DefaultsLocation final : public Location {
public:
    static constexpr const char* latitudeKey = "latitude";
    static constexpr const char* longitudeKey = "longitude";

    DefaultsLocation(platform::DefaultsStore& defaults, std::string zoneName,
                     std::filesystem::path zoneTable = "/usr/share/zoneinfo/zone1970.tab");

    std::optional<GeoPosition> currentPosition() override;

    // The coordinates of `zoneName` in a zone1970.tab text, or nothing.
    static std::optional<GeoPosition> positionInZoneTable(const std::string& table, const std::string& zoneName);
    // ISO 6709 "+DDMM+DDDMM" or "+DDMMSS+DDDMMSS" in degrees.
    static std::optional<GeoPosition> parseIso6709(const std::string& text);

private:
    platform::DefaultsStore& defaults_;
    std::string zoneName_;
    std::filesystem::path zoneTable_;
};

}  // namespace glowmere
