#include "ctl/ScheduleCommands.h"

#include <iostream>
#include <map>
#include <ostream>
#include <sstream>

#include "platform/Clock.h"
#include "platform/HttpClient.h"
#include "platform/InputChecks.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "platform/TimeZone.h"
#include "schedules/Location.h"
#include "schedules/ScheduleManager.h"

namespace glowmere::ctl {

namespace {

using Args = std::vector<std::string>;

// The engine as the desktop application wires it, on real time and the local
// zone, with the stored items loaded. Its run loop never runs: every
// operation here is made on this one thread.
struct Engine {
    explicit Engine(Context& ctx)
        : loop(platform::SystemClock::shared()),
          zone(platform::TimeZone::local()),
          manager(ctx.bridge, ctx.defaults, loop, zone),
          location(ctx.defaults, zone.name()) {
        manager.setLocation(&location);
        manager.setSunServiceClient(&http);
        manager.awakeFromNib();
    }
    platform::RunLoop loop;
    platform::TimeZone zone;
    ScheduleManager manager;
    DefaultsLocation location;
    platform::CurlHttpClient http;
};

int listItems(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    Engine engine(ctx);
    const auto& items = engine.manager.collection();
    if (ctx.json) {
        // Each item's number as the other commands take it, and its stored
        // record with its own types; what it registered on the bridge is
        // left out (the commands hold the user name).
        ctx.out << "[";
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Action& a = *items[i];
            Value record = a.getDictionary();
            record.erase(Action::registeredKey);
            ctx.out << (i ? "," : "") << "{\"number\":" << i + 1
                    << ",\"enabled\":" << (a.isEnabled() ? "true" : "false")
                    << ",\"name\":" << jsonString(a.objectForKey("name").textValue())
                    << ",\"description\":" << jsonString(a.getDescription()) << ",\"item\":" << jsonOf(record) << "}";
        }
        ctx.out << "]" << std::endl;
        return exitOk;
    }
    if (items.empty()) ctx.out << "no schedule items" << '\n';
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Action& a = *items[i];
        ctx.out << i + 1 << ". [" << (a.isEnabled() ? "x" : " ") << "] "
                << platform::printable(a.objectForKey("name").textValue()) << " - "
                << platform::printable(a.getDescription()) << '\n';
    }
    ctx.out << std::flush;
    return exitOk;
}

std::optional<std::size_t> itemNumber(const std::string& text, std::size_t count) {
    auto n = platform::wholeNumber(text, 1, static_cast<std::int64_t>(count));
    if (!n) return std::nullopt;
    return static_cast<std::size_t>(*n) - 1;
}

// A schedule operation that did not go through: the manager's own account
// (which schedule and why), else the request layer's.
int reportProblems(Context& ctx, const ScheduleManager& manager, std::string_view what) {
    const auto problems = manager.problems();
    if (problems.empty()) return reportFailure(ctx, what);
    for (const auto& line : problems) ctx.err << "glowmerectl: " << what << ": " << line << '\n';
    ctx.err << std::flush;
    return exitFailed;
}

// schedule-enable / -disable / -delete N.
Command itemCommand(const char* name, const char* summary, const char* failure,
                    bool (*operation)(ScheduleManager&, std::size_t)) {
    return command(name, "N", summary, [=](Context& ctx, const Command& self, const Args& args) {
        if (args.size() != 1) return usageError(ctx, self, "give the item's number from 'glowmerectl schedules'");
        Engine engine(ctx);
        auto index = itemNumber(args[0], engine.manager.collection().size());
        if (!index) return usageError(ctx, self, "no schedule item numbered '" + platform::printable(args[0]) + "'");
        if (operation(engine.manager, *index)) return static_cast<int>(exitOk);
        return reportProblems(ctx, engine.manager, failure);
    });
}

// The lamp chooser's title for a lamp or group: "lamp: " or "group: " and
// the label the bridge gives it.
std::optional<std::string> lampTitle(Context& ctx, const std::string& id, bool group) {
    if (group && id == "0") return std::string("group: All");
    auto records = group ? ctx.bridge.groupsArray() : ctx.bridge.lightsArray();
    if (!records) return std::nullopt;
    for (std::size_t i = 0; i < records->size(); ++i)
        if (records->at(i)["id"].textValue() == id)
            return std::string(group ? "group: " : "lamp: ") + records->at(i)["label"].textValue();
    return std::string();
}

// The days of "--days mo,we,fr" ticked on the item, the others not; what is
// wrong with the list, or nothing.
std::string setDays(Action& item, const std::string& text) {
    static const std::map<std::string, const char*> days = {{"mo", "mon"}, {"tu", "tue"}, {"we", "wed"}, {"th", "thu"},
                                                            {"fr", "fri"}, {"sa", "sat"}, {"su", "sun"}};
    for (const auto& [abbreviation, key] : days) item.setObjectForKey(false, key);
    std::stringstream list(text);
    std::string day;
    bool any = false;
    while (std::getline(list, day, ',')) {
        if (!days.count(day)) return "unknown day '" + platform::printable(day) + "' (mo,tu,we,th,fr,sa,su)";
        if (item.objectForKey(days.at(day)).boolValue()) return "--days names '" + day + "' twice";
        item.setObjectForKey(true, days.at(day));
        any = true;
    }
    if (!any || text.back() == ',') return "--days needs at least one day (mo,tu,we,th,fr,sa,su)";
    return {};
}

// "--colour BRI,HUE,SAT" set on the item; what is wrong with it, or nothing.
std::string setColour(Action& item, const std::string& text) {
    const std::string wrong = "--colour is BRI,HUE,SAT, whole numbers (0-255, 0-65535, 0-255)";
    std::stringstream list(text + ",");
    std::string part;
    const std::pair<const char*, std::int64_t> parts[] = {{"brightness", 255}, {"colour", 65535}, {"saturation", 255}};
    for (const auto& [key, max] : parts) {
        std::optional<std::int64_t> value;
        if (std::getline(list, part, ',')) value = platform::wholeNumber(part, 0, max);
        if (!value) return wrong;
        item.setObjectForKey(static_cast<double>(*value), key);
    }
    if (std::getline(list, part, ',') || !list.eof()) return wrong;
    item.setObjectForKey(true, "colourbrightness");
    return {};
}

// As the editor does: on an hour before sunset, off an hour after sunrise.
// False when no sunrise and sunset are known here.
bool setSunTimes(Context& ctx, ScheduleManager& manager, Action& item) {
    manager.fetchSunriseSunetTimes();
    const std::string rise = ctx.defaults.stringForKey(ScheduleManager::sunriseKey);
    const std::string set = ctx.defaults.stringForKey(ScheduleManager::sunsetKey);
    if (!isTimeText(rise) || !isTimeText(set)) return false;
    auto shift = [](const std::string& t, int minutes) {
        int m = (*ScheduleManager::stringToNumber(t) + minutes + 1440) % 1440;
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d", m / 60, m % 60);
        return std::string(text);
    };
    item.setObjectForKey(shift(rise, 60), "offtime");
    item.setObjectForKey(shift(set, -60), "ontime");
    return true;
}

// What "schedule-add" was asked for.
struct ItemRequest {
    std::map<std::string, std::string> options;
    bool vary = false;
    bool sun = false;
    std::string name;
    int kind = 0;
    bool group = false;
    std::string lampId;
};

// The options read into `request`; what is wrong with them, or nothing.
std::string readItemOptions(const Args& args, ItemRequest& request) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--vary") {
            request.vary = true;
        } else if (a == "--sun") {
            request.sun = true;
        } else if (a == "--name" || a == "--kind" || a == "--lamp" || a == "--group" || a == "--on" || a == "--off" ||
                   a == "--days" || a == "--colour") {
            if (i + 1 >= args.size()) return a + " needs a value";
            request.options[a] = args[++i];
        } else {
            return "unexpected argument '" + platform::printable(a) + "'";
        }
    }
    return {};
}

// The item's name, kind and lamp or group checked; what is wrong, or nothing.
std::string checkItemRequest(ItemRequest& request) {
    static const std::map<std::string, int> kinds = {{"onoff", 0},  {"on", 1},   {"off", 2}, {"colour", 3},
                                                     {"listen", 4}, {"dawn", 5}, {"dusk", 6}};
    auto& options = request.options;
    if (!options.count("--name")) return "give the item a --name";
    auto name = platform::checkedName(options["--name"]);
    if (!name)
        return "'" + platform::printable(options["--name"]) +
               "' is not a name: 1 to 32 characters (spaces at the ends do not count), no control characters";
    request.name = *name;
    if (!options.count("--kind") || !kinds.count(options["--kind"]))
        return "--kind is one of onoff, on, off, colour, listen, dawn, dusk";
    request.kind = kinds.at(options["--kind"]);
    request.group = options.count("--group") > 0;
    if (request.kind != Action::Listening && options.count("--lamp") == options.count("--group"))
        return "give either --lamp ID or --group ID";
    request.lampId = request.group ? options["--group"] : options["--lamp"];
    if (request.kind != Action::Listening && !platform::isBridgeIdentifier(request.lampId, request.group))
        return "'" + platform::printable(request.lampId) + "' is not an identifier (a whole number from 1" +
               (request.group ? "; 0 for all lamps)" : ")");
    return {};
}

// The item's name, kind, times, days and colour as asked; what is wrong, or
// nothing.
std::string setItemSettings(ItemRequest& request, Action& item) {
    auto& options = request.options;
    const int kind = request.kind;
    item.setObjectForKey(request.name, "name");
    item.setObjectForKey(kind, "action");
    bool needsOn = kind != Action::Off && kind != Action::FalseDusk;
    bool needsOff =
        kind == Action::OnAndOff || kind == Action::Off || kind == Action::Listening || kind == Action::FalseDusk;
    for (const char* key : {"--on", "--off"}) {
        if (!options.count(key)) continue;
        if (!platform::isTimeOfDay(options[key]))
            return "'" + platform::printable(options[key]) + "' is not a time of day (HH:MM)";
        item.setObjectForKey(options[key], key == std::string("--on") ? "ontime" : "offtime");
    }
    if (!request.sun && ((needsOn && !options.count("--on")) || (needsOff && !options.count("--off"))))
        return std::string("this kind needs ") + (needsOn && needsOff ? "--on and --off" : needsOn ? "--on" : "--off");
    if (options.count("--days")) {
        if (auto wrong = setDays(item, options["--days"]); !wrong.empty()) return wrong;
    }
    if (options.count("--colour")) {
        if (auto wrong = setColour(item, options["--colour"]); !wrong.empty()) return wrong;
    }
    item.setObjectForKey(request.vary, "vary");
    item.setObjectForKey(request.sun, "linksunrisesunset");
    return {};
}

// The lamp or group the bridge knows by the asked id set on the item; the
// exit status when it could not be.
std::optional<int> setItemLamp(Context& ctx, const Command& self, const ItemRequest& request, Action& item) {
    auto title = lampTitle(ctx, request.lampId, request.group);
    if (!title) return reportFailure(ctx, "could not read the lamps and groups");
    if (title->empty())
        return usageError(
            ctx, self, std::string("the bridge has no ") + (request.group ? "group" : "lamp") + " " + request.lampId);
    item.setObjectForKey(*title, "lamp");
    item.setObjectForKey(request.group, "group");
    item.setObjectForKey(request.lampId, "lampid");
    return std::nullopt;
}

// The item added and registered on the bridge, and its line printed.
int registerItem(Context& ctx, Engine& engine, const Action& item, int kind) {
    bool saved = true;
    int status =
        runOnBridge(ctx, "could not register the item on the bridge", [&] { saved = engine.manager.addAction(item); });
    // Not stored: its bridge schedules were deleted again; main says why.
    if (!saved)
        return status != exitOk || engine.manager.problems().empty()
                   ? exitFailed
                   : reportProblems(ctx, engine.manager, "could not register the item on the bridge");
    const Action& added = *engine.manager.collection().back();
    ctx.out << engine.manager.collection().size() << ". " << added.getDescription() << '\n';
    if (kind == Action::Listening)
        ctx.out << "listening is started and stopped by the desktop application's clock" << '\n';
    ctx.out << std::flush;
    return status;
}

int addItem(Context& ctx, const Command& self, const Args& args) {
    ItemRequest request;
    if (auto wrong = readItemOptions(args, request); !wrong.empty()) return usageError(ctx, self, wrong);
    if (auto wrong = checkItemRequest(request); !wrong.empty()) return usageError(ctx, self, wrong);
    Action item;
    if (auto wrong = setItemSettings(request, item); !wrong.empty()) return usageError(ctx, self, wrong);

    Engine engine(ctx);
    if (request.kind != Action::Listening) {
        if (auto status = setItemLamp(ctx, self, request, item)) return *status;
    }
    if (request.sun && !setSunTimes(ctx, engine.manager, item)) {
        ctx.err << "glowmerectl: no sunrise and sunset known here; see 'glowmerectl sun'" << std::endl;
        return exitFailed;
    }
    return registerItem(ctx, engine, item, request.kind);
}

int importItems(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    Engine engine(ctx);
    std::size_t before = engine.manager.collection().size();
    int status = runOnBridge(ctx, "could not import from the bridge", [&] { engine.manager.importFromBridge(); });
    // A list no bridge could hold is refused without a failed request.
    if (status == exitOk && !engine.manager.problems().empty())
        status = reportProblems(ctx, engine.manager, "could not import from the bridge");
    const auto& items = engine.manager.collection();
    ctx.out << "imported " << items.size() - before << " schedule" << (items.size() - before == 1 ? "" : "s") << '\n';
    for (std::size_t i = before; i < items.size(); ++i) ctx.out << i + 1 << ". " << items[i]->getDescription() << '\n';
    ctx.out << std::flush;
    return status;
}

int statusOfBridge(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    Engine engine(ctx);
    int status =
        runOnBridge(ctx, "could not read the bridge's schedules", [&] { engine.manager.windowDidBecomeKey(); });
    if (status != exitOk) return status;
    if (!engine.manager.problems().empty())
        return reportProblems(ctx, engine.manager, "could not read the bridge's schedules");
    const std::string& foreign = engine.manager.managerStatus();
    if (ctx.json) {
        ctx.out << "{\"othersOnBridge\":" << (foreign.empty() ? "false" : "true")
                << ",\"status\":" << jsonString(foreign) << ",\"itemsMissingOnBridge\":[";
        const auto& missing = engine.manager.itemsMissingOnBridge();
        for (std::size_t i = 0; i < missing.size(); ++i) ctx.out << (i ? "," : "") << jsonString(missing[i]);
        ctx.out << "]}" << std::endl;
        return exitOk;
    }
    ctx.out << (foreign.empty() ? "every schedule on the bridge belongs to an item" : foreign) << std::endl;
    return exitOk;
}

int deleteAll(Context& ctx, const Command& self, const Args& args) {
    bool yes = false;
    for (const auto& a : args) {
        if (a == "--yes")
            yes = true;
        else
            return usageError(ctx, self, "unexpected argument '" + a + "'");
    }
    if (!yes) {
        ctx.out << "Are you sure that you want to delete all schedules from your bridge? (Schedules won't be "
                   "deleted from Glowmere, just disabled) [y/N] "
                << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "yes") {
            ctx.out << "nothing deleted" << std::endl;
            return exitOk;
        }
    }
    Engine engine(ctx);
    if (!engine.manager.deleteAllFromBridge(true))
        return reportProblems(ctx, engine.manager, "could not read the bridge's schedules");
    const auto& refused = engine.manager.refusedSchedules();
    if (!refused.empty()) {
        ctx.out << "the bridge kept " << refused.size() << " schedule" << (refused.size() == 1 ? "" : "s")
                << "; their items stay enabled, every other item is disabled" << std::endl;
        return reportProblems(ctx, engine.manager, "could not delete every schedule on the bridge");
    }
    if (!engine.manager.problems().empty())
        return reportProblems(ctx, engine.manager, "deleted every schedule on the bridge");
    ctx.out << "deleted every schedule on the bridge; every item is disabled" << std::endl;
    return exitOk;
}

int sunTimes(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    Engine engine(ctx);
    auto position = engine.location.currentPosition();
    if (!engine.manager.updateSunTimes()) {
        ctx.err << "glowmerectl: could not work out today's sunrise and sunset";
        if (!ctx.defaults.stringForKey(ScheduleManager::sunriseKey).empty())
            ctx.err << "; the stored times stay: sunrise " << ctx.defaults.stringForKey(ScheduleManager::sunriseKey)
                    << ", sunset " << ctx.defaults.stringForKey(ScheduleManager::sunsetKey);
        ctx.err << std::endl;
        return exitFailed;
    }
    const std::string sunrise = ctx.defaults.stringForKey(ScheduleManager::sunriseKey);
    const std::string sunset = ctx.defaults.stringForKey(ScheduleManager::sunsetKey);
    const std::string source = engine.manager.sunSource();
    const std::string service =
        source == "web service" ? ctx.defaults.stringForKey(ScheduleManager::sunServiceKey) : std::string();
    const bool fromDefaults = position && ctx.defaults.hasObject(DefaultsLocation::latitudeKey) &&
                              ctx.defaults.hasObject(DefaultsLocation::longitudeKey) &&
                              position->horizontalAccuracy < 1000;
    const std::string positionSource = !position ? "none" : fromDefaults ? "settings" : "time zone";
    if (ctx.json) {
        ctx.out << "{\"sunrise\":" << jsonString(sunrise) << ",\"sunset\":" << jsonString(sunset)
                << ",\"source\":" << jsonString(source);
        if (!service.empty()) ctx.out << ",\"service\":" << jsonString(service);
        ctx.out << ",\"latitude\":" << formatNumber(position ? position->latitude : 0)
                << ",\"longitude\":" << formatNumber(position ? position->longitude : 0)
                << ",\"positionSource\":" << jsonString(positionSource)
                << ",\"zone\":" << jsonString(engine.zone.name()) << "}" << std::endl;
        return exitOk;
    }
    ctx.out << "sunrise " << sunrise << '\n' << "sunset  " << sunset << '\n' << "source  " << source;
    if (!service.empty()) ctx.out << " (" << service << ")";
    ctx.out << '\n';
    if (position) {
        ctx.out << "at      " << position->latitude << ", " << position->longitude << " ("
                << (fromDefaults ? "the \"latitude\" and \"longitude\" settings"
                                 : "the time zone " + engine.zone.name() + "'s main city")
                << ")\n";
    } else {
        ctx.out << "at      0, 0 (no position known: set \"latitude\" and \"longitude\")\n";
    }
    ctx.out << "zone    " << engine.zone.name() << std::endl;
    return exitOk;
}

}  // namespace

void addScheduleCommands(CommandTable& table) {
    table.push_back(command("schedules", "[--json]", "list the schedule items", listItems));
    table.push_back(
        command("schedule-add",
                "--name NAME --kind onoff|on|off|colour|listen|dawn|dusk (--lamp ID | --group ID) [--on HH:MM] "
                "[--off HH:MM] [--days mo,tu,we,th,fr,sa,su] [--vary] [--sun] [--colour BRI,HUE,SAT]",
                "add a schedule item and register it on the bridge", addItem));
    table.push_back(itemCommand("schedule-enable", "enable an item (registers it on the bridge)",
                                "could not register the item on the bridge",
                                [](ScheduleManager& m, std::size_t i) { return m.setActionEnabled(i, true); }));
    table.push_back(itemCommand("schedule-disable", "disable an item (deletes its bridge schedules)",
                                "could not delete the item's bridge schedules",
                                [](ScheduleManager& m, std::size_t i) { return m.setActionEnabled(i, false); }));
    table.push_back(itemCommand("schedule-delete", "delete an item and its bridge schedules",
                                "could not delete the item's bridge schedules",
                                [](ScheduleManager& m, std::size_t i) { return m.deleteAction(i); }));
    table.push_back(
        command("schedule-import", "", "make items of the schedules other clients left on the bridge", importItems));
    table.push_back(command("schedule-status", "[--json]", "tell whether the bridge holds schedules no item knows",
                            statusOfBridge));
    table.push_back(command("schedule-delete-all", "[--yes]",
                            "delete every schedule on the bridge and disable every item", deleteAll));
    table.push_back(command("sun", "[--json]", "today's sunrise and sunset and where they came from", sunTimes));
}

}  // namespace glowmere::ctl
