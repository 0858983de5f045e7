#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/TimeZone.h"
#include "schedules/Location.h"
#include "schedules/SunTimes.h"

namespace glowmere {

// The Location section of the settings window: the position sun-linked
// schedules use and where it came from, the user's own latitude and
// longitude (checked before they are kept), and today's sunrise and sunset
// there. Its controls live here; the window shows them. Runs on the
// controller thread; it never asks the location service for a position.
class LocationSettings {
public:
    LocationSettings(DefaultsLocation& location, platform::Clock& clock, platform::TimeZone zone);

    // Told when the position in use changed through this section.
    void setPositionChangedHandler(std::function<void(const ChosenPosition&)> handler) {
        std::lock_guard lock(handlerMutex_);
        positionChanged_ = std::move(handler);
    }

    // The position the schedules fall back on when none is known (the
    // schedule engine's own); shown, and said to be a fallback, until one is.
    void setFallbackPosition(std::function<GeoPosition()> fallback) { fallback_ = std::move(fallback); }

    // Shows the position in use, its source and today's sun times again.
    void refresh();
    // Keeps the position typed into the two fields, when it is sound.
    bool useEnteredPosition();
    // Lets the entered position go.
    void forgetEnteredPosition();

    // Today's sunrise and sunset at the position in use, as shown.
    std::optional<SunTimes> shownSunTimes() const { return shown_; }

    platform::TextField& tfLatitude() { return *latitude_; }
    platform::TextField& tfLongitude() { return *longitude_; }
    platform::Button& btnUseEntered() { return *useEntered_; }
    platform::Button& btnForget() { return *forget_; }
    platform::TextField& tfPosition() { return *position_; }
    platform::TextField& tfSource() { return *source_; }
    platform::TextField& tfSunrise() { return *sunrise_; }
    platform::TextField& tfSunset() { return *sunset_; }
    platform::TextField& tfMessage() { return *message_; }

    // Shared handles for the window's widgets.
    std::shared_ptr<platform::Control> control(platform::Control& which);

    // "52.5200° N, 13.4050° E".
    static std::string formatPosition(const GeoPosition& position);

private:
    void tellPositionChanged();

    DefaultsLocation& location_;
    platform::Clock& clock_;
    platform::TimeZone zone_;
    // Set on the window thread, read on the controller thread.
    std::mutex handlerMutex_;
    std::function<void(const ChosenPosition&)> positionChanged_;
    std::function<GeoPosition()> fallback_;
    std::optional<SunTimes> shown_;

    std::shared_ptr<platform::TextField> latitude_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> longitude_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::Button> useEntered_ = std::make_shared<platform::Button>("Use this position");
    std::shared_ptr<platform::Button> forget_ = std::make_shared<platform::Button>("Forget this position");
    std::shared_ptr<platform::TextField> position_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> source_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> sunrise_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> sunset_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> message_ = std::make_shared<platform::TextField>();
};

}  // namespace glowmere
