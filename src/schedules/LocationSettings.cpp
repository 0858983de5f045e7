#include "schedules/LocationSettings.h"

#include <cmath>
#include <cstdio>

namespace glowmere {

LocationSettings::LocationSettings(DefaultsLocation& location, platform::Clock& clock, platform::TimeZone zone)
    : location_(location), clock_(clock), zone_(std::move(zone)) {
    for (auto* field : {position_.get(), source_.get(), sunrise_.get(), sunset_.get(), message_.get()})
        field->setAlignment(platform::TextField::Alignment::Left);
    useEntered_->setAction([this](platform::Control*) { useEnteredPosition(); });
    forget_->setAction([this](platform::Control*) { forgetEnteredPosition(); });
    // Typing Return in either field keeps the position too.
    latitude_->setAction([this](platform::Control*) { useEnteredPosition(); });
    longitude_->setAction([this](platform::Control*) { useEnteredPosition(); });
}

std::shared_ptr<platform::Control> LocationSettings::control(platform::Control& which) {
    for (const std::shared_ptr<platform::Control>& c : std::initializer_list<std::shared_ptr<platform::Control>>{
             latitude_, longitude_, useEntered_, forget_, position_, source_, sunrise_, sunset_, message_})
        if (c.get() == &which) return c;
    return nullptr;
}

std::string LocationSettings::formatPosition(const GeoPosition& p) {
    char text[96];
    std::snprintf(text, sizeof text, "%.4f° %s, %.4f° %s", std::fabs(p.latitude), p.latitude < 0 ? "S" : "N",
                  std::fabs(p.longitude), p.longitude < 0 ? "W" : "E");
    return text;
}

void LocationSettings::refresh() {
    auto chosen = location_.chosenPosition();
    shown_.reset();
    GeoPosition position = fallback_ ? fallback_() : GeoPosition{0, 0, 0};
    if (chosen) {
        position = chosen->position;
        std::string source = DefaultsLocation::describe(chosen->source);
        if (chosen->source == PositionSource::ZoneCity) source += " (" + location_.zoneName() + ")";
        source_->setStringValue(source);
    } else {
        // Sun-linked schedules still run, at the engine's fallback: say so
        // rather than show nothing.
        source_->setStringValue("no position known: the schedules use this fallback until you enter one");
    }
    position_->setStringValue(formatPosition(position));
    forget_->setEnabled(chosen && chosen->source == PositionSource::Entered);
    if (chosen && chosen->source == PositionSource::Entered && latitude_->stringValue().empty() &&
        longitude_->stringValue().empty()) {
        char lat[32], lon[32];
        std::snprintf(lat, sizeof lat, "%.4f", chosen->position.latitude);
        std::snprintf(lon, sizeof lon, "%.4f", chosen->position.longitude);
        latitude_->setStringValue(lat);
        longitude_->setStringValue(lon);
    }
    auto today =
        std::chrono::floor<std::chrono::days>(zone_.toLocal(std::chrono::floor<std::chrono::seconds>(clock_.now())));
    shown_ = computeSunTimes(position, today, zone_);
    sunrise_->setStringValue(shown_ ? shown_->sunrise : "the sun does not rise today");
    sunset_->setStringValue(shown_ ? shown_->sunset : "the sun does not set today");
}

bool LocationSettings::useEnteredPosition() {
    std::string why;
    if (!location_.enterPosition(latitude_->stringValue(), longitude_->stringValue(), &why)) {
        message_->setStringValue(why);
        return false;
    }
    message_->setStringValue("");
    refresh();
    tellPositionChanged();
    return true;
}

void LocationSettings::forgetEnteredPosition() {
    location_.forgetEnteredPosition();
    latitude_->setStringValue("");
    longitude_->setStringValue("");
    message_->setStringValue("");
    refresh();
    tellPositionChanged();
}

void LocationSettings::tellPositionChanged() {
    std::function<void(const ChosenPosition&)> handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = positionChanged_;
    }
    if (auto chosen = location_.chosenPosition(); chosen && handler) handler(*chosen);
}

}  // namespace glowmere
