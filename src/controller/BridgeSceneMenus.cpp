#include "controller/BridgeSceneMenus.h"

#include <algorithm>

#include "bridge/BridgeBridge.h"
#include "controller/ActivePreset.h"
#include "controller/PresetRecords.h"
#include "controller/PresetScenes.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

BridgeSceneMenus::BridgeSceneMenus(platform::RunLoop& loop, BridgeBridge& bridge, platform::DefaultsStore& defaults,
                                   platform::Menu& presetPullDown, platform::Menu& statusMenu)
    : handoff_(loop, lifetime_),
      bridge_(bridge),
      scenes_(bridge),
      defaults_(defaults),
      presetPullDown_(presetPullDown),
      statusMenu_(statusMenu) {}

BridgeSceneMenus::~BridgeSceneMenus() {
    lifetime_.reset();
    // The menus outlive this: their scene items (which call back here) go.
    for (platform::Menu* menu : {&presetPullDown_, &statusMenu_}) {
        auto items = menu->items();
        const auto before = items.size();
        std::erase_if(items, [](const platform::Menu::Item& item) { return item.tag >= sceneTagBase; });
        if (items.size() != before) menu->setItems(std::move(items));
    }
}

void BridgeSceneMenus::setInEffectObserver(InEffectObserver observer) {
    std::lock_guard lock(mutex_);
    inEffectObserver_ = std::move(observer);
}

void BridgeSceneMenus::lampsRead(const Value& lamps) {
    decltype(sceneStates_) states;
    {
        std::lock_guard lock(mutex_);
        states = sceneStates_;
    }
    // The states of a scene are read again only when the bridge says it
    // changed: a poll costs one request more, not one a scene.
    auto listed = scenes_.list();
    if (listed) {
        for (const BridgeScene& scene : *listed) {
            auto known = states.find(scene.id);
            if (known != states.end() && known->second.first == scene.lastupdated) continue;
            if (auto read = scenes_.lightStates(scene.id))
                states[scene.id] = {scene.lastupdated, std::move(*read)};
            else
                states.erase(scene.id);
        }
        std::erase_if(states, [&](const auto& entry) {
            return std::none_of(listed->begin(), listed->end(),
                                [&](const BridgeScene& scene) { return scene.id == entry.first; });
        });
    }

    const ActivePreset::Readings now = ActivePreset::readings(lamps);
    std::set<std::string> activePresets, activeScenes;
    std::string first;
    const Value presets = presets::storedList(defaults_);
    for (const Value& preset : presets.asList()) {
        if (!preset.isMap() || !ActivePreset::matches(BridgeScenes::statesFromPreset(preset), now)) continue;
        const std::string name = preset[presets::nameKey].textValue();
        activePresets.insert(name);
        if (first.empty()) first = name;
    }
    for (const auto& [id, stored] : states)
        if (ActivePreset::matches(stored.second, now)) activeScenes.insert(id);

    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        if (listed) {
            auto sameScene = [](const BridgeScene& a, const BridgeScene& b) {
                return a.id == b.id && a.name == b.name;
            };
            // Before the first read the menus show no scenes: a bridge
            // without any changes nothing on screen.
            changed = !std::equal(listed->begin(), listed->end(), sceneList_.begin(), sceneList_.end(), sameScene);
            sceneList_ = std::move(*listed);
            sceneListRead_ = true;
        }
        sceneStates_ = std::move(states);
        if (first.empty()) {
            for (const BridgeScene& scene : sceneList_)
                if (activeScenes.count(scene.id)) {
                    first = scene.name;
                    break;
                }
        }
        changed = changed || activePresets != activePresets_ || activeScenes != activeScenes_ || first != inEffect_;
        activePresets_ = std::move(activePresets);
        activeScenes_ = std::move(activeScenes);
        inEffect_ = first;
    }
    if (changed) handoff_.post([this] { decorate(); });
}

void BridgeSceneMenus::presetMenusRebuilt() {
    GLOWMERE_EXPECT_LOOP_THREAD(handoff_.loop(), "BridgeSceneMenus::presetMenusRebuilt");
    std::optional<std::vector<BridgeScene>> known;
    {
        std::lock_guard lock(mutex_);
        if (sceneListRead_) known = sceneList_;
    }
    // Presets kept on the bridge that changed (or whose scene went) are
    // stored there now; nothing is sent for the others.
    const auto result = presetscenes::storeKeptPresets(scenes_, defaults_, known);
    if (!result.written.empty()) {
        std::lock_guard lock(mutex_);
        for (const BridgeScene& scene : result.written) {
            auto it = std::find_if(sceneList_.begin(), sceneList_.end(),
                                   [&](const BridgeScene& s) { return s.id == scene.id; });
            if (it == sceneList_.end())
                sceneList_.push_back(scene);
            else
                it->name = scene.name;
            sceneStates_.erase(scene.id);  // read again at the next poll
        }
    }
    decorate();
    askAboutDeletedScenes();
}

void BridgeSceneMenus::decorate() {
    decorateMenu(presetPullDown_, false);
    decorateMenu(statusMenu_, true);
    InEffectObserver observer;
    std::string name;
    {
        std::lock_guard lock(mutex_);
        if (inEffect_ == toldInEffect_) return;
        toldInEffect_ = inEffect_;
        name = inEffect_;
        observer = inEffectObserver_;
    }
    platform::log(name.empty() ? "no preset in effect" : "preset in effect: " + name);
    if (observer) observer(name);
}

void BridgeSceneMenus::decorateMenu(platform::Menu& menu, bool beforeLastSeparator) {
    using Item = platform::Menu::Item;
    std::vector<Item> items = menu.items();
    std::erase_if(items, [](const Item& item) { return item.tag >= sceneTagBase; });
    const std::vector<std::string> names = presets::names(presets::storedList(defaults_));
    std::vector<BridgeScene> scenes;
    std::set<std::string> activePresets, activeScenes;
    {
        std::lock_guard lock(mutex_);
        scenes = sceneList_;
        activePresets = activePresets_;
        activeScenes = activeScenes_;
    }
    // A preset's item has its index for a tag and its name for a title.
    for (Item& item : items) {
        if (item.separator || !item.action || item.tag < 0 || static_cast<std::size_t>(item.tag) >= names.size() ||
            names[static_cast<std::size_t>(item.tag)] != item.title)
            continue;
        item.checked = activePresets.count(item.title) != 0;
    }
    std::vector<Item> section;
    if (!scenes.empty()) {
        section.push_back(Item{{}, sceneTagBase, true, {}, {}, std::nullopt});
        section.push_back(Item{scenesTitle, sceneTagBase, false, {}, {}, std::nullopt});
        int tag = sceneTagBase + 1;
        for (const BridgeScene& scene : scenes) {
            auto recall = [this, id = scene.id, alive = std::weak_ptr<int>(lifetime_)](const Item&) {
                if (alive.lock()) applyScene(id);
            };
            section.push_back(Item{scene.name, tag++, false, {}, recall, activeScenes.count(scene.id) != 0});
        }
    }
    auto at = items.end();
    if (beforeLastSeparator) {
        auto last = std::find_if(items.rbegin(), items.rend(), [](const Item& item) { return item.separator; });
        if (last != items.rend()) at = std::prev(last.base());
    }
    // No second separator where one already ends the items before.
    auto first = section.begin();
    if (!section.empty() && at != items.begin() && std::prev(at)->separator) ++first;
    items.insert(at, first, section.end());
    menu.setItems(std::move(items));
}

void BridgeSceneMenus::askAboutDeletedScenes() {
    std::map<std::string, std::pair<std::string, std::string>> kept;
    std::set<std::string> referenced;
    const Value list = presets::storedList(defaults_);
    for (const Value& preset : list.asList()) {
        const std::string scene = presetscenes::sceneID(preset);
        if (scene.empty()) continue;
        referenced.insert(scene);
        if (presetscenes::keptOnBridge(preset))
            kept[preset[presets::idKey].textValue()] = {preset[presets::nameKey].textValue(), scene};
    }
    std::vector<std::pair<std::string, std::string>> orphans;  // (name, scene ID)
    {
        std::lock_guard lock(mutex_);
        if (keptPresetsSeen_) {
            for (const auto& [presetID, entry] : keptPresets_) {
                if (kept.count(presetID) || referenced.count(entry.second)) continue;
                const std::string& sceneID = entry.second;
                const bool listed = std::any_of(sceneList_.begin(), sceneList_.end(),
                                                [&](const BridgeScene& s) { return s.id == sceneID; });
                if (listed) orphans.push_back(entry);
            }
        }
        keptPresets_ = std::move(kept);
        keptPresetsSeen_ = true;
    }
    if (!alerts_) return;
    for (const auto& [name, sceneID] : orphans) {
        platform::AlertSpec alert;
        alert.message = "Also delete the scene " + name + " from the bridge?";
        alert.informativeText =
            "The preset was kept on the bridge as a scene, which wall switches and other apps may still use.";
        alert.defaultButton = "Delete scene";
        alert.alternateButton = "Keep scene";
        alert.icon = platform::AlertIcon::Question;
        alerts_->ask(alert,
                     [this, id = sceneID, alive = std::weak_ptr<int>(lifetime_)](platform::AlertResponse answer) {
                         if (answer != platform::AlertResponse::Default || !alive.lock()) return;
                         if (!scenes_.remove(id)) return;
                         {
                             std::lock_guard lock(mutex_);
                             std::erase_if(sceneList_, [&](const BridgeScene& s) { return s.id == id; });
                             sceneStates_.erase(id);
                             activeScenes_.erase(id);
                         }
                         decorate();
                     });
    }
}

bool BridgeSceneMenus::keptOnBridge(const std::string& presetName) const {
    const Value list = presets::storedList(defaults_);
    auto index = presets::indexOfName(list, presetName);
    return index && presetscenes::keptOnBridge(list.at(*index));
}

void BridgeSceneMenus::setKeptOnBridge(const std::string& presetName, bool keep) {
    GLOWMERE_EXPECT_LOOP_THREAD(handoff_.loop(), "BridgeSceneMenus::setKeptOnBridge");
    const Value list = presets::storedList(defaults_);
    auto index = presets::indexOfName(list, presetName);
    if (!index) return;
    if (!presetscenes::setKeptOnBridge(defaults_, list.at(*index)[presets::idKey].textValue(), keep)) {
        platform::log("the presets could not be saved");
        return;
    }
    presetMenusRebuilt();
}

bool BridgeSceneMenus::applyScene(const std::string& idOrName, std::optional<double> transitionSeconds) {
    std::vector<BridgeScene> scenes;
    {
        std::lock_guard lock(mutex_);
        scenes = sceneList_;
    }
    const BridgeScene* scene = BridgeScenes::find(scenes, idOrName);
    std::optional<std::vector<BridgeScene>> fresh;
    if (!scene) {
        // Made a moment ago elsewhere: the list is read once more.
        fresh = scenes_.list();
        if (fresh) scene = BridgeScenes::find(*fresh, idOrName);
    }
    if (!scene) return false;
    platform::log("recalling the scene " + scene->name);
    return scenes_.recall(scene->id, transitionSeconds);
}

std::vector<BridgeSceneMenus::SceneEntry> BridgeSceneMenus::scenes() const {
    std::lock_guard lock(mutex_);
    std::vector<SceneEntry> out;
    for (const BridgeScene& scene : sceneList_)
        out.push_back({scene.id, scene.name, activeScenes_.count(scene.id) != 0});
    return out;
}

std::set<std::string> BridgeSceneMenus::activePresetNames() const {
    std::lock_guard lock(mutex_);
    return activePresets_;
}

std::string BridgeSceneMenus::inEffect() const {
    std::lock_guard lock(mutex_);
    return inEffect_;
}

}  // namespace glowmere
