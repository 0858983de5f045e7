#include "ctl/DesktopCommands.h"

#include <ostream>

#include "controller/LampFlash.h"
#include "controller/LampShortcuts.h"
#include "platform/Clock.h"
#include "platform/InputChecks.h"
#include "platform/Log.h"

namespace glowmere::ctl {

namespace {

using Args = std::vector<std::string>;

int toggle(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    auto lamps = ctx.bridge.lightsArray();
    if (!lamps || !lamps->isList()) return reportFailure(ctx, "could not read the lamps");
    // Any lamp on: all go off; all off: all go on.
    bool anyOn = false;
    for (const Value& lamp : lamps->asList()) anyOn = anyOn || lamp["onoff"].boolValue();
    return runOnBridge(ctx, "could not switch all lamps", [&] { ctx.bridge.allOn(!anyOn); });
}

int stepBrightness(Context& ctx, const Command& self, const Args& args, int step) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    auto lamps = ctx.bridge.lightsArray();
    if (!lamps || !lamps->isList()) return reportFailure(ctx, "could not read the lamps");
    return runOnBridge(ctx, "could not change the brightness", [&] {
        for (const Value& lamp : lamps->asList()) {
            if (!lamp["onoff"].boolValue()) continue;
            const int now = lamp["brightness"].intValue();
            const int next = LampShortcuts::steppedBrightness(now, step);
            if (next != now) ctx.bridge.sendSettingsToLamp(Value::map({{"brightness", next}}), lamp["id"].textValue());
        }
        ctx.bridge.waitForCommands();
    });
}

int alert(Context& ctx, const Command& self, const Args& given) {
    Args args;
    std::optional<int> hue;
    int times = 1;
    bool longAlert = false;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const std::string& arg = given[i];
        if (arg == "--long") {
            longAlert = true;
            continue;
        }
        if (arg != "--colour" && arg != "--times") {
            args.push_back(arg);
            continue;
        }
        if (i + 1 >= given.size()) return usageError(ctx, self, arg + " needs a value");
        const std::string& value = given[++i];
        if (arg == "--colour") {
            hue = LampFlash::hueForColour(value);
            if (!hue) {
                std::string names;
                for (const auto& name : LampFlash::colourNames()) names += (names.empty() ? "" : ", ") + name;
                return usageError(
                    ctx, self,
                    "'" + platform::printable(value) + "' is not a colour: " + names + ", or a hue from 0 to 65535");
            }
        } else {
            auto n = platform::wholeNumber(value, 1, LampFlash::maxTimes);
            if (!n)
                return usageError(ctx, self,
                                  "--times takes a whole number from 1 to " + std::to_string(LampFlash::maxTimes));
            times = static_cast<int>(*n);
        }
    }
    // The long flash is the bridge's own; a colour is shown by Glowmere.
    if (longAlert && hue) return usageError(ctx, self, "--long and --colour cannot be used together");
    if (args.size() != 1) return usageError(ctx, self, "expected one lamp or group, or 'all'");
    LampFlash flash(ctx.bridge, platform::SystemClock::shared());
    flash.setLongAlert(longAlert);
    std::string why;
    switch (flash.flash(args[0], hue, times, &why)) {
        case LampFlash::Outcome::Flashed:
        case LampFlash::Outcome::Stopped:
            return exitOk;
        case LampFlash::Outcome::NoSuchTarget:
            ctx.err << "glowmerectl: " << why << " (see glowmerectl lights, glowmerectl groups)" << std::endl;
            return exitFailed;
        case LampFlash::Outcome::BridgeFailed:
            break;
    }
    return reportFailure(ctx, why.empty() ? "could not flash" : why);
}

}  // namespace

void addDesktopCommands(CommandTable& table) {
    table.push_back(command("toggle", "", "switch every lamp off when any is on, else all on", toggle));
    table.push_back(command("brighter", "", "make every lamp that is on brighter by a tenth",
                            [](Context& ctx, const Command& self, const Args& args) {
                                return stepBrightness(ctx, self, args, LampShortcuts::brightnessStep);
                            }));
    table.push_back(command("dimmer", "", "make every lamp that is on dimmer by a tenth",
                            [](Context& ctx, const Command& self, const Args& args) {
                                return stepBrightness(ctx, self, args, -LampShortcuts::brightnessStep);
                            }));
    table.push_back(command("alert", "TARGET [--colour NAME|HUE | --long] [--times N]",
                            "flash a lamp, a group (id or name) or all; lamps end as they were", alert));
}

}  // namespace glowmere::ctl
