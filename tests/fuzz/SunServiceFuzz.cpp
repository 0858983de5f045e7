// The sun service's reply and the time-zone table's coordinates are read from
// outside: whatever they hold, reading must neither crash nor accept text
// that is not a time of day.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "schedules/Location.h"
#include "schedules/SunTimes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (auto times = glowmere::parseSunServiceReply(text)) {
        if (!glowmere::isTimeText(times->sunrise) || !glowmere::isTimeText(times->sunset)) std::abort();
    }
    if (auto position = glowmere::DefaultsLocation::positionInZoneTable(text, "Europe/London")) {
        if (position->latitude < -90 || position->latitude > 90 || position->longitude < -180 ||
            position->longitude > 180)
            std::abort();
    }
    return 0;
}
