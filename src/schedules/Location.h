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

// Where a position came from.
enum class PositionSource { Entered, LocationService, ZoneCity };

struct ChosenPosition {
    GeoPosition position;
    PositionSource source = PositionSource::ZoneCity;
    bool operator==(const ChosenPosition&) const = default;
};

// The position kept in the defaults ("latitude" and "longitude"), entered by
// the user or reported by the desktop's location service, else the
// coordinates the time-zone table gives for the local zone's main city. A
// position the user entered wins over the location service's reports until
// the user lets it go. Safe to use from any thread.
class DefaultsLocation final : public Location {
public:
    static constexpr const char* latitudeKey = "latitude";
    static constexpr const char* longitudeKey = "longitude";
    // "entered" or "location service"; absent with a stored position: entered.
    static constexpr const char* positionSourceKey = "positionSource";
    static constexpr const char* enteredSource = "entered";
    static constexpr const char* serviceSource = "location service";

    DefaultsLocation(platform::DefaultsStore& defaults, std::string zoneName,
                     std::filesystem::path zoneTable = "/usr/share/zoneinfo/zone1970.tab");

    std::optional<GeoPosition> currentPosition() override;
    // The position in use and where it came from; nothing when neither the
    // defaults nor the zone table give one.
    std::optional<ChosenPosition> chosenPosition();
    const std::string& zoneName() const { return zoneName_; }

    // The user's own position, from the texts of the two fields (a decimal
    // point or comma). False, with the reason, unless the latitude lies in
    // -90..90 and the longitude in -180..180; nothing is stored then.
    bool enterPosition(const std::string& latitude, const std::string& longitude, std::string* why = nullptr);
    // Lets an entered position go: the location service's or the zone's is used again.
    void forgetEnteredPosition();
    // A report of the location service: stored and used unless the user
    // entered a position. True when it was stored.
    bool takeServicePosition(const GeoPosition& position);

    // "entered by hand", "location service", "the time zone's main city".
    static std::string describe(PositionSource source);
    // A coordinate typed by the user, in -limit..limit; nothing otherwise.
    static std::optional<double> parseCoordinate(const std::string& text, double limit);

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
