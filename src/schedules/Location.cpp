#include "schedules/Location.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "platform/Log.h"

namespace glowmere {

DefaultsLocation::DefaultsLocation(platform::DefaultsStore& defaults, std::string zoneName,
                                   std::filesystem::path zoneTable)
    : defaults_(defaults), zoneName_(std::move(zoneName)), zoneTable_(std::move(zoneTable)) {}

std::optional<GeoPosition> DefaultsLocation::currentPosition() {
    if (defaults_.hasObject(latitudeKey) && defaults_.hasObject(longitudeKey)) {
        double lat = defaults_.doubleForKey(latitudeKey);
        double lon = defaults_.doubleForKey(longitudeKey);
        if (lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180) return GeoPosition{lat, lon, 100};
        platform::log("ignoring the stored position: it is not on the globe");
    }
    std::ifstream in(zoneTable_);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return positionInZoneTable(text.str(), zoneName_);
}

namespace {

// Reads `count` digits at `pos` as a number, or -1.
int digits(const std::string& text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// One signed coordinate of `degreeDigits` degree digits followed by minutes
// and possibly seconds; `pos` is moved past it.
std::optional<double> coordinate(const std::string& text, std::size_t& pos, std::size_t degreeDigits) {
    if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
    double sign = text[pos] == '-' ? -1 : 1;
    std::size_t start = pos + 1, end = start;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    std::size_t length = end - start;
    if (length != degreeDigits + 2 && length != degreeDigits + 4) return std::nullopt;
    int deg = digits(text, start, degreeDigits);
    int min = digits(text, start + degreeDigits, 2);
    int sec = length == degreeDigits + 4 ? digits(text, start + degreeDigits + 2, 2) : 0;
    if (min >= 60 || sec >= 60) return std::nullopt;
    pos = end;
    return sign * (deg + min / 60.0 + sec / 3600.0);
}

}  // namespace

std::optional<GeoPosition> DefaultsLocation::parseIso6709(const std::string& text) {
    std::size_t pos = 0;
    auto lat = coordinate(text, pos, 2);
    if (!lat) return std::nullopt;
    auto lon = coordinate(text, pos, 3);
    if (!lon || pos != text.size() || *lat > 90 || *lat < -90 || *lon > 180 || *lon < -180) return std::nullopt;
    // A zone's principal city is a coarse stand-in for the computer's place.
    return GeoPosition{*lat, *lon, 100000};
}

std::optional<GeoPosition> DefaultsLocation::positionInZoneTable(const std::string& table,
                                                                 const std::string& zoneName) {
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string codes, coordinates, zone;
        if (!std::getline(fields, codes, '\t') || !std::getline(fields, coordinates, '\t') ||
            !std::getline(fields, zone, '\t'))
            continue;
        if (!zone.empty() && zone.back() == '\r') zone.pop_back();
        if (zone == zoneName) return parseIso6709(coordinates);
    }
    return std::nullopt;
}

}  // namespace glowmere
