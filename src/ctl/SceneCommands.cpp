#include "ctl/SceneCommands.h"

#include <iomanip>
#include <ostream>
#include <sstream>

#include "bridge/BridgeScenes.h"
#include "controller/ActivePreset.h"
#include "controller/PresetRecords.h"
#include "platform/Log.h"

namespace glowmere::ctl {

namespace {

using Args = std::vector<std::string>;

int noSuchScene(Context& ctx, const std::string& name) {
    ctx.err << "glowmerectl: the bridge has no scene '" << platform::printable(name) << "' (see glowmerectl scenes)"
            << std::endl;
    return exitFailed;
}

int listScenes(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    BridgeScenes scenes(ctx.bridge);
    auto list = scenes.list();
    if (!list) return reportFailure(ctx, "could not read the scenes");
    // Which scene is in effect: the lamps once, then each scene's states.
    auto lamps = ctx.bridge.lightsArray();
    const auto now = lamps ? ActivePreset::readings(*lamps) : ActivePreset::Readings{};
    std::vector<bool> active;
    for (const BridgeScene& scene : *list) {
        auto states = lamps ? scenes.lightStates(scene.id) : std::nullopt;
        active.push_back(states && ActivePreset::matches(*states, now));
    }
    if (ctx.json) {
        ctx.out << "[";
        for (std::size_t i = 0; i < list->size(); ++i) {
            const BridgeScene& scene = (*list)[i];
            ctx.out << (i ? "," : "") << "{\"id\":" << jsonString(scene.id) << ",\"name\":" << jsonString(scene.name)
                    << ",\"lamps\":" << scene.lights.size() << ",\"active\":" << (active[i] ? "true" : "false") << "}";
        }
        ctx.out << "]" << std::endl;
        return exitOk;
    }
    if (list->empty()) {
        ctx.out << "no scenes" << std::endl;
        return exitOk;
    }
    ctx.out << std::left << std::setw(18) << "ID" << std::setw(7) << "LAMPS" << std::setw(8) << "ACTIVE"
            << "NAME" << '\n';
    for (std::size_t i = 0; i < list->size(); ++i) {
        const BridgeScene& scene = (*list)[i];
        ctx.out << std::setw(18) << platform::printable(scene.id) << std::setw(7) << scene.lights.size() << std::setw(8)
                << (active[i] ? "yes" : "") << platform::printable(scene.name) << '\n';
    }
    ctx.out << std::flush;
    return exitOk;
}

int applyScene(Context& ctx, const Command& self, const Args& given) {
    Args args;
    std::optional<double> transition;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] != "--transition") {
            args.push_back(given[i]);
            continue;
        }
        if (i + 1 >= given.size()) return usageError(ctx, self, "--transition needs a number of seconds");
        transition = parseNumber(given[++i], 0, presets::maximumTransition);
        if (!transition)
            return usageError(ctx, self,
                              "'" + given[i] + "' is not a transition (0 to " +
                                  formatNumber(presets::maximumTransition) + " seconds)");
    }
    if (args.size() != 1) return usageError(ctx, self, "expected the scene's name or identifier");
    BridgeScenes scenes(ctx.bridge);
    auto list = scenes.list();
    if (!list) return reportFailure(ctx, "could not read the scenes");
    const BridgeScene* scene = BridgeScenes::find(*list, args[0]);
    if (!scene) return noSuchScene(ctx, args[0]);
    if (!scenes.recall(scene->id, transition))
        return reportFailure(ctx, "could not recall scene '" + platform::printable(scene->name) + "'");
    ctx.out << "recalled scene '" << platform::printable(scene->name) << "'";
    if (transition) ctx.out << " over " << formatNumber(*transition) << " s";
    ctx.out << std::endl;
    return exitOk;
}

// The lamps as they are now, all of them or those named (as several
// arguments or one list with commas); a scene of that name takes them, else
// a new one is made.
int saveScene(Context& ctx, const Command& self, const Args& args) {
    if (args.empty()) return usageError(ctx, self, "expected the scene's name");
    const std::string name = platform::sanitizeUtf8(args[0]);
    if (name.empty() || name.size() > 32) return usageError(ctx, self, "a scene's name has 1 to 32 characters");
    std::vector<std::string> wanted;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::istringstream in(args[i]);
        std::string id;
        while (std::getline(in, id, ','))
            if (!id.empty()) wanted.push_back(id);
    }
    auto lamps = ctx.bridge.lightsArray();
    if (!lamps || !lamps->isList()) return reportFailure(ctx, "could not read the lamps");
    auto states = BridgeScenes::statesFromLamps(*lamps, wanted);
    for (const std::string& id : wanted) {
        bool found = false;
        for (const auto& state : states) found = found || state.lampId == id;
        if (!found) return usageError(ctx, self, "the bridge has no lamp '" + platform::printable(id) + "'");
    }
    if (states.empty()) return reportFailure(ctx, "the bridge has no lamps to keep in a scene");
    BridgeScenes scenes(ctx.bridge);
    auto list = scenes.list();
    if (!list) return reportFailure(ctx, "could not read the scenes");
    const BridgeScene* existing = nullptr;
    for (const BridgeScene& scene : *list)
        if (scene.name == name) existing = &scene;
    std::string id;
    if (existing) {
        if (!scenes.update(existing->id, name, states)) return reportFailure(ctx, "could not update the scene");
        id = existing->id;
    } else {
        auto made = scenes.create(name, states);
        if (!made) return reportFailure(ctx, "could not save the scene");
        id = *made;
    }
    ctx.out << (existing ? "updated" : "saved") << " scene '" << platform::printable(name) << "' (" << states.size()
            << " lamps) as " << id << std::endl;
    return exitOk;
}

int deleteScene(Context& ctx, const Command& self, const Args& args) {
    if (args.size() != 1) return usageError(ctx, self, "expected the scene's name or identifier");
    BridgeScenes scenes(ctx.bridge);
    auto list = scenes.list();
    if (!list) return reportFailure(ctx, "could not read the scenes");
    const BridgeScene* scene = BridgeScenes::find(*list, args[0]);
    if (!scene) return noSuchScene(ctx, args[0]);
    if (!scenes.remove(scene->id)) return reportFailure(ctx, "could not delete the scene");
    ctx.out << "deleted scene '" << platform::printable(scene->name) << "'" << std::endl;
    return exitOk;
}

}  // namespace

std::vector<bool> presetsInEffect(Context& ctx, const Value& presets) {
    std::vector<bool> out(presets.size(), false);
    // Only a bridge already paired is asked: listing presets never searches.
    const bool addressKnown =
        ctx.bridge.bridgeIP() || !ctx.defaults.objectForKey(BridgeBridge::lastUsedBridgeIPKey).textValue().empty();
    if (!addressKnown || !ctx.bridge.getUsername() || ctx.bridge.pairingNeeded()) return out;
    auto lamps = ctx.bridge.lightsArray();
    if (!lamps) return out;
    const auto now = ActivePreset::readings(*lamps);
    for (std::size_t i = 0; i < presets.size(); ++i)
        out[i] = ActivePreset::matches(BridgeScenes::statesFromPreset(presets.at(i)), now);
    return out;
}

void addSceneCommands(CommandTable& table) {
    table.push_back(command("scenes", "[--json]", "list the scenes the bridge keeps", listScenes));
    table.push_back(command("scene-apply", "NAME|ID [--transition SECONDS]",
                            "recall a scene of the bridge on its lamps", applyScene));
    table.push_back(command("scene-save", "NAME [LAMPS]",
                            "keep the lamps (all, or those given) as they are now as scene NAME on the bridge",
                            saveScene));
    table.push_back(command("scene-delete", "NAME|ID", "delete a scene from the bridge", deleteScene));
}

}  // namespace glowmere::ctl
