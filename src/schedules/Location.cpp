#include "schedules/Location.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "platform/Log.h"

namespace glowmere {

DefaultsLocation::DefaultsLocation(platform::DefaultsStore& defaults, std::string zoneName,
                                   std::filesystem::path zoneTable)
    : defaults_(defaults), zoneName_(std::move(zoneName)), zoneTable_(std::move(zoneTable)) {}

std::optional<GeoPosition> DefaultsLocation::currentPosition() {
    auto chosen = chosenPosition();
    if (!chosen) return std::nullopt;
    return chosen->position;
}

std::optional<ChosenPosition> DefaultsLocation::chosenPosition() {
    if (defaults_.hasObject(latitudeKey) && defaults_.hasObject(longitudeKey)) {
        double lat = defaults_.doubleForKey(latitudeKey);
        double lon = defaults_.doubleForKey(longitudeKey);
        if (lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180) {
            bool service = defaults_.stringForKey(positionSourceKey) == serviceSource;
            return ChosenPosition{GeoPosition{lat, lon, 100},
                                  service ? PositionSource::LocationService : PositionSource::Entered};
        }
        platform::log("ignoring the stored position: it is not on the globe");
    }
    std::ifstream in(zoneTable_);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    auto city = positionInZoneTable(text.str(), zoneName_);
    if (!city) return std::nullopt;
    return ChosenPosition{*city, PositionSource::ZoneCity};
}

std::optional<double> DefaultsLocation::parseCoordinate(const std::string& input, double limit) {
    std::string text;
    for (char c : input)
        if (!std::isspace(static_cast<unsigned char>(c))) text.push_back(c == ',' ? '.' : c);
    if (text.empty() || text.size() > 32) return std::nullopt;
    double value = 0;
    const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
    auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    if (value < -limit || value > limit) return std::nullopt;
    return value;
}

bool DefaultsLocation::enterPosition(const std::string& latitude, const std::string& longitude, std::string* why) {
    auto lat = parseCoordinate(latitude, 90);
    auto lon = parseCoordinate(longitude, 180);
    if (!lat || !lon) {
        if (why)
            *why = !lat ? "The latitude must be a number from -90 to 90."
                        : "The longitude must be a number from -180 to 180.";
        return false;
    }
    defaults_.setObject(latitudeKey, *lat);
    defaults_.setObject(longitudeKey, *lon);
    defaults_.setObject(positionSourceKey, enteredSource);
    return true;
}

void DefaultsLocation::forgetEnteredPosition() {
    if (defaults_.stringForKey(positionSourceKey) == serviceSource) return;
    defaults_.removeObject(latitudeKey);
    defaults_.removeObject(longitudeKey);
    defaults_.removeObject(positionSourceKey);
}

bool DefaultsLocation::takeServicePosition(const GeoPosition& position) {
    if (!std::isfinite(position.latitude) || !std::isfinite(position.longitude) || position.latitude < -90 ||
        position.latitude > 90 || position.longitude < -180 || position.longitude > 180)
        return false;
    auto chosen = chosenPosition();
    if (chosen && chosen->source == PositionSource::Entered) return false;
    // The source last: whoever reads it on another thread finds the
    // position it names already in place.
    defaults_.setObject(latitudeKey, position.latitude);
    defaults_.setObject(longitudeKey, position.longitude);
    defaults_.setObject(positionSourceKey, serviceSource);
    return true;
}

std::string DefaultsLocation::describe(PositionSource source) {
    switch (source) {
        case PositionSource::Entered:
            return "entered by hand";
        case PositionSource::LocationService:
            return "location service";
        case PositionSource::ZoneCity:
            break;
    }
    return "the time zone's main city";
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
