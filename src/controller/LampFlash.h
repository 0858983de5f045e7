#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "platform/Clock.h"
#include "platform/Value.h"

namespace glowmere {

// Flashes a lamp, a group or every lamp to tell the user something (a build
// finished, mail came): with the bridge's own alert, or in a colour and back.
// Every lamp ends as it was before: on or off, brightness, colour mode and
// that mode's values. Shared by glowmerectl and the application's bus
// method. Runs on whatever thread calls it and blocks it for the flashes
// (about a second each, on the injected clock); never on the controller or
// the GUI thread.
class LampFlash {
public:
    // How long a colour flash shows its colour, and the pause between two.
    static constexpr std::chrono::milliseconds colourHold{800};
    static constexpr std::chrono::milliseconds pauseBetween{700};
    // One "select" alert lasts about a second on the bridge.
    static constexpr std::chrono::milliseconds alertLength{1000};
    // A long one ("lselect") about fifteen.
    static constexpr std::chrono::milliseconds longAlertLength{15000};
    static constexpr int maxTimes = 10;

    // What a target names: a lamp or a group, and the lamps it holds.
    struct Target {
        bool group = false;  // "all" is the group "0"
        std::string id;
        std::string name;
        std::vector<std::string> lampIds;
    };
    // "all", a lamp's identifier, a lamp's name, a group's name, a group's
    // identifier, in that order (names compared without regard to case);
    // `lamps` and `groups` as the bridge client reads them.
    static std::optional<Target> findTarget(std::string_view text, const Value& lamps, const Value& groups);
    // A colour's hue on the bridge's scale (0-65535): a name ("red",
    // "green", ...) or a whole number; nothing for anything else.
    static std::optional<int> hueForColour(std::string_view text);
    static const std::vector<std::string>& colourNames();
    // The state body that shows `hue` on a lamp (a lamp record of the
    // client), or the bridge's own alert for a lamp without colour.
    static Value colourBody(const Value& lamp, int hue);
    // The state bodies that put the lamp back as its record shows it, in
    // order. A lamp in colour temperature or xy mode first gets its hue and
    // saturation back (the flash changed them too), then its own mode.
    static std::vector<Value> restoreBodies(const Value& lamp);

    LampFlash(BridgeBridge& bridge, platform::Clock& clock) : bridge_(bridge), clock_(clock) {}
    // The bridge's long alert instead of its short one, for a flash without
    // a colour.
    void setLongAlert(bool on) { longAlert_ = on; }

    enum class Outcome { Flashed, NoSuchTarget, BridgeFailed, Stopped };
    // Flashes `target` `times` times: in `hue`, or with the bridge's alert
    // when none is given. `why` gets a line for the user when it fails.
    Outcome flash(std::string_view target, std::optional<int> hue, int times, std::string* why = nullptr,
                  std::stop_token stop = {});

private:
    BridgeBridge& bridge_;
    platform::Clock& clock_;
    bool longAlert_ = false;
};

}  // namespace glowmere
