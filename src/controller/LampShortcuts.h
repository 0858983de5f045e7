#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace glowmere {

class ManualController;

// The commands a key anywhere on the desktop runs: every lamp on, off or
// toggled, the next or previous preset, all lamps brighter or dimmer, and
// listening on or off. The desktop's shortcut service knows them by their
// identifiers; where there is none, the user binds the equivalent
// glowmerectl command line in the desktop's own keyboard settings.
//
// The object runs the commands on the controller thread, through the main
// controller's own operations, so the strips show what was done at once.
// The static helpers are shared with glowmerectl.
class LampShortcuts {
public:
    struct Shortcut {
        const char* id;           // "turn-all-off"
        const char* description;  // what the desktop's shortcut dialog shows
        const char* command;      // the equivalent glowmerectl arguments
    };
    // Every shortcut, in the order the user sees them.
    static const std::vector<Shortcut>& all();

    // Brighter and Dimmer move a lamp's brightness by a tenth of the
    // bridge's range, and never switch it off or on.
    static constexpr int brightnessStep = 25;
    static int steppedBrightness(double brightness, int step);
    // The preset `step` places after `current` (-1: none yet, so the first
    // going forward and the last going back), wrapping round; -1 when there
    // are none.
    static int steppedIndex(int current, int count, int step);
    // The first preset the lamps (records of the bridge client) show now:
    // every lamp it holds that is still there is on or off as saved, and a
    // lamp that is on has the saved brightness and colour, give or take
    // what the bridge rounds. Nothing when none matches.
    static std::optional<std::size_t> presetMatching(const Value& presetList, const Value& lamps);

    // `toggleListening` starts or stops listening (the application's listen
    // button knows which).
    LampShortcuts(ManualController& manual, std::function<void()> toggleListening);

    // Runs the shortcut `id`; false for an identifier it does not know.
    // Controller thread.
    bool run(std::string_view id);
    void toggleAll();
    void stepPreset(int step);
    void stepBrightness(int step);

private:
    ManualController& manual_;
    std::function<void()> toggleListening_;
};

}  // namespace glowmere
