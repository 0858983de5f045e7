#include "ctl/BridgeCommands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <mutex>
#include <ostream>

#include "bridge/JsonText.h"
#include "bridge/bridgeExplorer.h"
#include "platform/HttpClient.h"
#include "platform/InputChecks.h"
#include "platform/Log.h"

namespace glowmere::ctl {

namespace {

using Args = std::vector<std::string>;

// A whole number for the table: the records hold texts such as "254.00".
std::string wholeNumber(const Value& v) {
    if (v.isNull()) return "-";
    return std::to_string(static_cast<long long>(v.doubleValue()));
}

std::string notAnIdentifier(const std::string& text) {
    return "'" + platform::printable(text) + "' is not an identifier (a whole number from 1)";
}

std::string badName(const std::string& text) {
    return "'" + platform::printable(text) +
           "' is not a name: 1 to 32 characters (spaces at the ends do not count), no control characters";
}

// A raw reply for the terminal: its line breaks and tabs as they are,
// every other control character escaped.
std::string printableReply(const std::string& reply) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= reply.size(); ++i) {
        if (i < reply.size() && reply[i] != '\n' && reply[i] != '\t') continue;
        out += platform::printable(std::string_view(reply).substr(from, i - from));
        if (i < reply.size()) out.push_back(reply[i]);
        from = i + 1;
    }
    return out;
}

void printRecords(Context& ctx, const Value& records) {
    if (ctx.json) {
        ctx.out << "[";
        for (std::size_t i = 0; i < records.size(); ++i) ctx.out << (i ? "," : "") << jsonOf(records.at(i));
        ctx.out << "]" << std::endl;
        return;
    }
    ctx.out << std::left << std::setw(6) << "ID" << std::setw(5) << "ON" << std::setw(5) << "BRI" << std::setw(7)
            << "HUE" << std::setw(5) << "SAT"
            << "NAME" << '\n';
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Value& r = records.at(i);
        ctx.out << std::setw(6) << platform::printable(r["id"].textValue()) << std::setw(5)
                << (r["onoff"].boolValue() ? "on" : "off") << std::setw(5) << wholeNumber(r["brightness"])
                << std::setw(7) << wholeNumber(r["colour"]) << std::setw(5) << wholeNumber(r["saturation"])
                << platform::printable(r["label"].textValue()) << '\n';
    }
    ctx.out << std::flush;
}

int listCommand(Context& ctx, const Command& self, const Args& args, bool groups) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    auto records = groups ? ctx.bridge.groupsArray() : ctx.bridge.lightsArray();
    if (!records) return reportFailure(ctx, groups ? "could not read the groups" : "could not read the lamps");
    printRecords(ctx, *records);
    return exitOk;
}

// bri=N hue=N sat=N transition=SECONDS, as a settings record: whole numbers
// in the bridge's ranges; the transition in seconds to a tenth.
std::optional<Value> settingsFromArguments(Context& ctx, const Command& self, const Args& args, std::size_t from,
                                           int& status) {
    struct Key {
        const char* argument;
        const char* recordKey;
        std::int64_t max;
    };
    static const Key keys[] = {{"bri", "brightness", 255}, {"hue", "colour", 65535}, {"sat", "saturation", 255}};
    Value record = Value::emptyMap();
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto eq = arg.find('=');
        std::string_view name = std::string_view(arg).substr(0, eq);
        std::string_view given = eq == std::string::npos ? std::string_view() : std::string_view(arg).substr(eq + 1);
        // A setting given twice is a slip, not a choice of the last one.
        for (std::size_t j = from; j < i && eq != std::string::npos; ++j) {
            if (std::string_view(args[j]).substr(0, args[j].find('=')) == name) {
                status = usageError(ctx, self, std::string(name) + " is given twice");
                return std::nullopt;
            }
        }
        if (eq != std::string::npos && name == "transition") {
            auto t = platform::tenths(given, 65535);
            if (!t) {
                status =
                    usageError(ctx, self, "'" + arg + "': transition takes seconds from 0 to 6553.5 (tenths at most)");
                return std::nullopt;
            }
            record.set("transitiontime", static_cast<double>(*t) / 10);
            continue;
        }
        const Key* key = nullptr;
        for (const auto& k : keys)
            if (eq != std::string::npos && name == k.argument) key = &k;
        if (!key) {
            status = usageError(ctx, self, "unknown setting '" + platform::printable(arg) + "'");
            return std::nullopt;
        }
        auto number = platform::wholeNumber(given, 0, key->max);
        if (!number) {
            status = usageError(ctx, self,
                                "'" + platform::printable(arg) + "': " + key->argument +
                                    " takes a whole number from 0 to " + std::to_string(key->max));
            return std::nullopt;
        }
        record.set(key->recordKey, static_cast<int>(*number));
    }
    if (!record.contains("brightness") && !record.contains("colour") && !record.contains("saturation")) {
        // A transition alone changes nothing on the bridge.
        status = usageError(ctx, self, "nothing to set: give bri, hue or sat");
        return std::nullopt;
    }
    return record;
}

// Commands that take an identifier and nothing else.
Command idCommand(std::string name, std::string summary, std::string what,
                  std::function<void(BridgeBridge&, const std::string&)> operation, bool allGroup = false) {
    return command(name, "ID", std::move(summary),
                   [what, operation, allGroup](Context& ctx, const Command& self, const Args& args) {
                       if (args.size() != 1) return usageError(ctx, self, "expected one identifier");
                       if (!platform::isBridgeIdentifier(args[0], allGroup))
                           return usageError(ctx, self, notAnIdentifier(args[0]));
                       return runOnBridge(ctx, what + " " + args[0], [&] { operation(ctx.bridge, args[0]); });
                   });
}

// "1,2,3": the identifiers of a list, each once, in order.
std::optional<std::vector<std::string>> identifierList(const std::string& text, bool group) {
    std::vector<std::string> ids;
    std::size_t from = 0;
    for (;;) {
        const auto comma = text.find(',', from);
        std::string id = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (!platform::isBridgeIdentifier(id, group)) return std::nullopt;
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return ids;
}

Command setCommand(std::string name, bool group) {
    return command(std::move(name), "ID[,ID...] [bri=N] [hue=N] [sat=N] [transition=SECONDS]",
                   group ? "change groups' settings" : "change lamps' settings (paced: 10 lamps a second)",
                   [group](Context& ctx, const Command& self, const Args& args) {
                       if (args.empty()) return usageError(ctx, self, "expected an identifier");
                       auto ids = identifierList(args[0], group);
                       if (!ids) return usageError(ctx, self, notAnIdentifier(args[0]));
                       int status = exitOk;
                       auto record = settingsFromArguments(ctx, self, args, 1, status);
                       if (!record) return status;
                       FailureRecorder recorder(ctx.bridge);
                       for (const auto& id : *ids) {
                           if (group)
                               ctx.bridge.sendSettingsToGroup(*record, id);
                           else
                               ctx.bridge.sendSettingsToLamp(*record, id);
                       }
                       ctx.bridge.waitForCommands();
                       const auto failures = recorder.failures();
                       if (failures.empty()) return static_cast<int>(exitOk);
                       // Of several, the message names those that failed.
                       std::string which;
                       for (const auto& id : *ids) {
                           const auto path = BridgeCommand{group, id, {}, true}.path();
                           if (std::any_of(failures.begin(), failures.end(),
                                           [&](const RequestFailure& f) { return f.path == path; }))
                               which += (which.empty() ? "" : ",") + id;
                       }
                       return reportFailure(ctx,
                                            std::string(group ? "could not set group " : "could not set lamp ") +
                                                (which.empty() ? args[0] : which),
                                            failures.back());
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
                       if (!platform::isBridgeIdentifier(args[0], group))
                           return usageError(ctx, self, notAnIdentifier(args[0]));
                       // The bridge takes at most 65535 tenths of a second.
                       auto tenthMinutes = platform::tenths(args[1], 1092);
                       if (!tenthMinutes)
                           return usageError(ctx, self,
                                             "'" + platform::printable(args[1]) +
                                                 "' is not a number of minutes (0 to 109.2, tenths at most)");
                       const double minutes = static_cast<double>(*tenthMinutes) / 10;
                       return runOnBridge(ctx, "could not start the fade", [&] {
                           auto& b = ctx.bridge;
                           if (dusk && group) b.startFalseDuskForGroupWithTransition(args[0], minutes);
                           if (dusk && !group) b.startFalseDuskForLampWithTransition(args[0], minutes);
                           if (!dusk && group) b.startFalseDawnForGroupWithTransition(args[0], minutes);
                           if (!dusk && !group) b.startFalseDawnForLampWithTransition(args[0], minutes);
                       });
                   });
}

Command renameCommand(std::string name, bool group) {
    return command(std::move(name), "ID NAME", group ? "rename a group" : "rename a lamp",
                   [group](Context& ctx, const Command& self, const Args& args) {
                       if (args.size() != 2) return usageError(ctx, self, "expected an identifier and a name");
                       if (!platform::isBridgeIdentifier(args[0]))
                           return usageError(ctx, self, notAnIdentifier(args[0]));
                       auto checked = platform::checkedName(args[1]);
                       if (!checked) return usageError(ctx, self, badName(args[1]));
                       const std::string newName = *checked;
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

// "discover": the bridges the portal and the local network name.
int discover(Context& ctx, const Command& self, const Args& args) {
    std::optional<std::string> target;
    if (args.size() == 2 && args[0] == "--ssdp") {
        if (!isHostAndPort(args[1]) || args[1].find(':') == std::string::npos)
            return usageError(ctx, self, "'" + args[1] + "' is not HOST:PORT");
        target = args[1];
    } else if (!args.empty()) {
        return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    }
    auto print = [&ctx](const std::vector<std::string>& addresses) {
        if (ctx.json) {
            ctx.out << "[";
            for (std::size_t i = 0; i < addresses.size(); ++i) ctx.out << (i ? "," : "") << jsonString(addresses[i]);
            ctx.out << "]" << std::endl;
            return;
        }
        for (const auto& address : addresses) ctx.out << platform::printable(address) << '\n';
        ctx.out << std::flush;
    };
    if (ctx.bridgeOverride && !target) {
        print({*ctx.bridgeOverride});
        return int(exitOk);
    }
    auto found = ctx.bridge.findBridges(target);
    if (found.empty()) {
        ctx.err << "glowmerectl: no bridge answered within 3 s; set \"discoveryPortal\" or \"ssdpAddress\", "
                   "or give --bridge HOST[:PORT]"
                << std::endl;
        return int(exitFailed);
    }
    print(found);
    // One bridge is the one to use from now on; of several, the user chooses.
    if (found.size() == 1) ctx.defaults.setObject(BridgeBridge::lastUsedBridgeIPKey, found.front());
    return int(exitOk);
}

// "login": pairing, with the link button's wait told when it ran out.
int login(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument");
    const auto result = ctx.bridge.logIn();
    if (ctx.pairing) ctx.pairing->finish();
    if (result) {
        // The address paired with is the one to use from now on,
        // stored with the user name.
        if (ctx.bridgeOverride) ctx.defaults.setObject(BridgeBridge::lastUsedBridgeIPKey, *ctx.bridgeOverride);
        ctx.out << "paired with the bridge at " << platform::printable(ctx.bridge.bridgeIP().value_or("?"))
                << std::endl;
        return int(exitOk);
    }
    using Kind = RequestFailure::Kind;
    if (result.failure->kind == Kind::NotPaired && ctx.pairing &&
        ctx.pairing->attempts() == BridgeBridge::loginAttempts) {
        const auto waited =
            std::chrono::duration_cast<std::chrono::seconds>(BridgeBridge::loginPause * BridgeBridge::loginAttempts);
        ctx.err << "glowmerectl: login failed: the link button was not pressed within " << waited.count() << " s"
                << std::endl;
        return int(exitFailed);
    }
    return reportFailure(ctx, "login failed", result.failure);
}

int trustBridge(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument");
    if (auto refused = ctx.bridge.trustNewCertificate()) {
        ctx.err << "glowmerectl: trust-bridge: " << platform::printable(*refused) << std::endl;
        return int(exitFailed);
    }
    ctx.out << "trusting the certificate of the bridge at " << platform::printable(ctx.bridge.bridgeIP().value_or("?"))
            << std::endl;
    return int(exitOk);
}

int makeGroup(Context& ctx, const Command& self, const Args& args) {
    if (args.size() < 2) return usageError(ctx, self, "expected a name and lamp identifiers");
    auto checked = platform::checkedName(args[0]);
    if (!checked) return usageError(ctx, self, badName(args[0]));
    std::vector<LampId> lamps;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (!platform::isBridgeIdentifier(args[i])) return usageError(ctx, self, notAnIdentifier(args[i]));
        lamps.emplace_back(args[i]);
    }
    std::vector<const LampIdentifying*> strips;
    for (const auto& l : lamps) strips.push_back(&l);
    const std::string name = *checked;
    return runOnBridge(ctx, "could not make the group", [&] { ctx.bridge.makeGroupNamed(strips, name); });
}

// "get PATH": the bridge's raw reply.
int getPath(Context& ctx, const Command& self, const Args& args) {
    if (args.size() != 1) return usageError(ctx, self, "expected one path");
    // Only paths under the user's own root: segments of
    // letters, digits, '-' and '_' ("lights/1", "config").
    auto path = platform::checkedBridgePath(args[0]);
    if (!path)
        return usageError(
            ctx, self,
            "'" + platform::printable(args[0]) + "' is not a path of letters, digits, '-' and '_' separated by '/'");
    auto reply = ctx.bridge.sendGETRequestToUrl(*path);
    if (!reply) return reportFailure(ctx, "GET " + *path);
    // Paired user names (the configuration's list,
    // the user's own) are shown shortened.
    const auto names =
        bridgeExplorer::userNamesIn(BridgeBridge::dictionaryOfDictionariesFromJSON(*reply), ctx.bridge.getUsername());
    ctx.out << printableReply(bridgeExplorer::withUserNamesShortened(*reply, names)) << std::endl;
    return int(exitOk);
}

}  // namespace

void addBridgeCommands(CommandTable& table) {
    table.push_back(command("discover", "[--ssdp HOST:PORT] [--json]",
                            "find bridges (portal and local network, 3 s) and print each address", discover));
    table.push_back(command("login", "", "pair with the bridge (press its link button)", login));
    table.push_back(command("trust-bridge", "",
                            "trust the certificate the paired bridge shows now (after a reset or a new bridge)",
                            trustBridge));
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
    table.push_back(idCommand(
        "group-on", "switch a group on", "could not switch on group",
        [](BridgeBridge& b, const std::string& id) { b.groupOn(id, true); }, true));
    table.push_back(idCommand(
        "group-off", "switch a group off", "could not switch off group",
        [](BridgeBridge& b, const std::string& id) { b.groupOn(id, false); }, true));
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
    table.push_back(command("make-group", "NAME ID...", "make a group of the lamps given", makeGroup));
    table.push_back(idCommand("remove-group", "remove a group", "could not remove group",
                              [](BridgeBridge& b, const std::string& id) { b.removeGroupNamed(id); }));
    table.push_back(
        command("get", "PATH", "print the bridge's raw reply to GET PATH (e.g. lights/1, config)", getPath));
}

}  // namespace glowmere::ctl
