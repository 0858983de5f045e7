#include "ctl/BridgeCommands.h"

#include <cstdio>
#include <iomanip>
#include <ostream>

#include "bridge/JsonText.h"
#include "platform/HttpClient.h"

namespace glowmere::ctl {

namespace {

using Args = std::vector<std::string>;

// A whole number for the table: the records hold texts such as "254.00".
std::string wholeNumber(const Value& v) {
    if (v.isNull()) return "-";
    return std::to_string(static_cast<long long>(v.doubleValue()));
}

void printRecords(Context& ctx, const Value& records) {
    if (ctx.json) {
        ctx.out << "[";
        for (std::size_t i = 0; i < records.size(); ++i)
            ctx.out << (i ? "," : "") << jsontext::JSONFromDictionary(records.at(i));
        ctx.out << "]" << std::endl;
        return;
    }
    ctx.out << std::left << std::setw(6) << "ID" << std::setw(5) << "ON" << std::setw(5) << "BRI" << std::setw(7)
            << "HUE" << std::setw(5) << "SAT"
            << "NAME" << '\n';
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Value& r = records.at(i);
        ctx.out << std::setw(6) << r["id"].textValue() << std::setw(5) << (r["onoff"].boolValue() ? "on" : "off")
                << std::setw(5) << wholeNumber(r["brightness"]) << std::setw(7) << wholeNumber(r["colour"])
                << std::setw(5) << wholeNumber(r["saturation"]) << r["label"].textValue() << '\n';
    }
    ctx.out << std::flush;
}

int listCommand(Context& ctx, const Command& self, const Args& args, bool groups) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    const auto mark = ctx.log.mark();
    auto records = groups ? ctx.bridge.groupsArray() : ctx.bridge.lightsArray();
    if (!records) return reportFailure(ctx, groups ? "could not read the groups" : "could not read the lamps", mark);
    printRecords(ctx, *records);
    return exitOk;
}

// bri=N hue=N sat=N transition=SECONDS, as a settings record.
std::optional<Value> settingsFromArguments(Context& ctx, const Command& self, const Args& args, std::size_t from,
                                           int& status) {
    struct Key {
        const char* argument;
        const char* recordKey;
        double max;
    };
    static const Key keys[] = {{"bri", "brightness", 255},
                               {"hue", "colour", 65535},
                               {"sat", "saturation", 255},
                               {"transition", "transitiontime", 6553.5}};
    Value record = Value::emptyMap();
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto eq = arg.find('=');
        const Key* key = nullptr;
        for (const auto& k : keys)
            if (eq != std::string::npos && arg.compare(0, eq, k.argument) == 0) key = &k;
        if (!key) {
            status = usageError(ctx, self, "unknown setting '" + arg + "'");
            return std::nullopt;
        }
        auto number = parseNumber(std::string_view(arg).substr(eq + 1), 0, key->max);
        if (!number) {
            status = usageError(
                ctx, self, "'" + arg + "': " + key->argument + " takes a number from 0 to " + formatNumber(key->max));
            return std::nullopt;
        }
        // Whole numbers for the bridge's units; the transition may be fractional.
        if (key->recordKey == std::string("transitiontime"))
            record.set(key->recordKey, *number);
        else
            record.set(key->recordKey, static_cast<int>(*number));
    }
    if (record.empty()) {
        status = usageError(ctx, self, "nothing to set");
        return std::nullopt;
    }
    return record;
}

Command command(std::string name, std::string arguments, std::string summary,
                std::function<int(Context&, const Command&, const Args&)> run) {
    Command c{std::move(name), std::move(arguments), std::move(summary), {}};
    c.run = [c, run](Context& ctx, const Args& args) { return run(ctx, c, args); };
    return c;
}

// Commands that take an identifier and nothing else.
Command idCommand(std::string name, std::string summary, std::string what,
                  std::function<void(BridgeBridge&, const std::string&)> operation) {
    return command(name, "ID", std::move(summary),
                   [what, operation](Context& ctx, const Command& self, const Args& args) {
                       if (args.size() != 1) return usageError(ctx, self, "expected one identifier");
                       if (!isIdentifier(args[0]))
                           return usageError(ctx, self, "'" + args[0] + "' is not an identifier");
                       return runOnBridge(ctx, what + " " + args[0], [&] { operation(ctx.bridge, args[0]); });
                   });
}

Command setCommand(std::string name, bool group) {
    return command(std::move(name), "ID [bri=N] [hue=N] [sat=N] [transition=SECONDS]",
                   group ? "change a group's settings" : "change a lamp's settings",
                   [group](Context& ctx, const Command& self, const Args& args) {
                       if (args.empty()) return usageError(ctx, self, "expected an identifier");
                       if (!isIdentifier(args[0]))
                           return usageError(ctx, self, "'" + args[0] + "' is not an identifier");
                       int status = exitOk;
                       auto record = settingsFromArguments(ctx, self, args, 1, status);
                       if (!record) return status;
                       return runOnBridge(
                           ctx, std::string(group ? "could not set group " : "could not set lamp ") + args[0], [&] {
                               if (group)
                                   ctx.bridge.sendSettingsToGroup(*record, args[0]);
                               else
                                   ctx.bridge.sendSettingsToLamp(*record, args[0]);
                           });
                   });
}

Command fadeCommand(std::string name, bool dusk) {
    return command(std::move(name), "[--group] ID MINUTES",
                   dusk ? "fade a lamp (or group) off over MINUTES" : "fade a lamp (or group) up to full over MINUTES",
                   [dusk](Context& ctx, const Command& self, const Args& given) {
                       Args args;
                       bool group = false;
                       for (const auto& a : given) {
                           if (a == "--group")
                               group = true;
                           else
                               args.push_back(a);
                       }
                       if (args.size() != 2) return usageError(ctx, self, "expected an identifier and minutes");
                       if (!isIdentifier(args[0]))
                           return usageError(ctx, self, "'" + args[0] + "' is not an identifier");
                       auto minutes = parseNumber(args[1], 0, 24 * 60);
                       if (!minutes)
                           return usageError(ctx, self, "'" + args[1] + "' is not a number of minutes (0 to 1440)");
                       return runOnBridge(ctx, "could not start the fade", [&] {
                           auto& b = ctx.bridge;
                           if (dusk && group) b.startFalseDuskForGroupWithTransition(args[0], *minutes);
                           if (dusk && !group) b.startFalseDuskForLampWithTransition(args[0], *minutes);
                           if (!dusk && group) b.startFalseDawnForGroupWithTransition(args[0], *minutes);
                           if (!dusk && !group) b.startFalseDawnForLampWithTransition(args[0], *minutes);
                       });
                   });
}

Command renameCommand(std::string name, bool group) {
    return command(std::move(name), "ID NAME", group ? "rename a group" : "rename a lamp",
                   [group](Context& ctx, const Command& self, const Args& args) {
                       if (args.size() != 2) return usageError(ctx, self, "expected an identifier and a name");
                       if (!isIdentifier(args[0]))
                           return usageError(ctx, self, "'" + args[0] + "' is not an identifier");
                       if (args[1].empty()) return usageError(ctx, self, "the name is empty");
                       const std::string newName = platform::sanitizeUtf8(args[1]);
                       return runOnBridge(ctx, "could not rename " + args[0], [&] {
                           if (group)
                               ctx.bridge.renameGroupNewName(args[0], newName);
                           else
                               ctx.bridge.renameLampNewName(args[0], newName);
                       });
                   });
}

struct LampId : LampIdentifying {
    explicit LampId(std::string id) : id(std::move(id)) {}
    std::string getID() const override { return id; }
    std::string id;
};

}  // namespace

void addBridgeCommands(CommandTable& table) {
    table.push_back(command("discover", "", "find the bridge and print its address",
                            [](Context& ctx, const Command& self, const Args& args) {
                                if (!args.empty()) return usageError(ctx, self, "unexpected argument");
                                if (ctx.bridgeOverride) {
                                    ctx.out << *ctx.bridgeOverride << std::endl;
                                    return int(exitOk);
                                }
                                ctx.bridge.discoverBridge();
                                auto address = ctx.bridge.bridgeIP();
                                if (!address) {
                                    ctx.err << "glowmerectl: no bridge found; set \"discoveryPortal\" or give "
                                               "--bridge HOST[:PORT]"
                                            << std::endl;
                                    return int(exitFailed);
                                }
                                ctx.out << *address << std::endl;
                                return int(exitOk);
                            }));
    table.push_back(command("login", "", "pair with the bridge (press its link button)",
                            [](Context& ctx, const Command& self, const Args& args) {
                                if (!args.empty()) return usageError(ctx, self, "unexpected argument");
                                // Show the bridge's answer to each attempt as it comes.
                                ctx.log.setEcho(&ctx.out);
                                const auto mark = ctx.log.mark();
                                bool ok = ctx.bridge.logIn();
                                ctx.log.setEcho(ctx.verbose ? &ctx.err : nullptr);
                                if (!ok) return reportFailure(ctx, "login failed", mark);
                                return int(exitOk);
                            }));
    table.push_back(command(
        "lights", "[--json]", "list the lamps",
        [](Context& ctx, const Command& self, const Args& args) { return listCommand(ctx, self, args, false); }));
    table.push_back(command(
        "groups", "[--json]", "list the groups",
        [](Context& ctx, const Command& self, const Args& args) { return listCommand(ctx, self, args, true); }));
    table.push_back(idCommand("on", "switch a lamp on", "could not switch on lamp",
                              [](BridgeBridge& b, const std::string& id) { b.lampOn(id, true); }));
    table.push_back(idCommand("off", "switch a lamp off", "could not switch off lamp",
                              [](BridgeBridge& b, const std::string& id) { b.lampOn(id, false); }));
    table.push_back(setCommand("set", false));
    table.push_back(idCommand("group-on", "switch a group on", "could not switch on group",
                              [](BridgeBridge& b, const std::string& id) { b.groupOn(id, true); }));
    table.push_back(idCommand("group-off", "switch a group off", "could not switch off group",
                              [](BridgeBridge& b, const std::string& id) { b.groupOn(id, false); }));
    table.push_back(setCommand("group-set", true));
    table.push_back(command(
        "all", "on|off", "switch every lamp on or off", [](Context& ctx, const Command& self, const Args& args) {
            if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
                return usageError(ctx, self, "expected 'on' or 'off'");
            return runOnBridge(ctx, "could not switch all lamps", [&] { ctx.bridge.allOn(args[0] == "on"); });
        }));
    table.push_back(fadeCommand("dusk", true));
    table.push_back(fadeCommand("dawn", false));
    table.push_back(renameCommand("rename", false));
    table.push_back(renameCommand("rename-group", true));
    table.push_back(command("make-group", "NAME ID...", "make a group of the lamps given",
                            [](Context& ctx, const Command& self, const Args& args) {
                                if (args.size() < 2)
                                    return usageError(ctx, self, "expected a name and lamp identifiers");
                                if (args[0].empty()) return usageError(ctx, self, "the name is empty");
                                std::vector<LampId> lamps;
                                for (std::size_t i = 1; i < args.size(); ++i) {
                                    auto n = parseNumber(args[i], 0, 2147483647);
                                    if (!n || args[i].find_first_not_of("0123456789") != std::string::npos)
                                        return usageError(ctx, self, "'" + args[i] + "' is not a lamp number");
                                    lamps.emplace_back(args[i]);
                                }
                                std::vector<const LampIdentifying*> strips;
                                for (const auto& l : lamps) strips.push_back(&l);
                                const std::string name = platform::sanitizeUtf8(args[0]);
                                return runOnBridge(ctx, "could not make the group",
                                                   [&] { ctx.bridge.makeGroupNamed(strips, name); });
                            }));
    table.push_back(idCommand("remove-group", "remove a group", "could not remove group",
                              [](BridgeBridge& b, const std::string& id) { b.removeGroupNamed(id); }));
    table.push_back(command("get", "PATH", "print the bridge's raw reply to GET PATH (e.g. lights/1, config)",
                            [](Context& ctx, const Command& self, const Args& args) {
                                if (args.size() != 1) return usageError(ctx, self, "expected one path");
                                std::string path = args[0];
                                while (!path.empty() && path.front() == '/') path.erase(0, 1);
                                for (char c : path)
                                    if (static_cast<unsigned char>(c) <= ' ' || c == '?' || c == '#')
                                        return usageError(ctx, self, "the path may not hold spaces, '?' or '#'");
                                const auto mark = ctx.log.mark();
                                auto reply = ctx.bridge.sendGETRequestToUrl(path);
                                if (!reply) return reportFailure(ctx, "GET " + path, mark);
                                ctx.out << *reply << std::endl;
                                return int(exitOk);
                            }));
}

}  // namespace glowmere::ctl
