#include "controller/BridgeSceneMenus.h"

#include <algorithm>

#include "bridge/BridgeBridge.h"
#include "controller/ManualController.h"
#include "controller/PresetRecords.h"
#include "controller/PresetScenes.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

BridgeSceneMenus::BridgeSceneMenus(platform::RunLoop& loop, BridgeBridge& bridge, platform::DefaultsStore& defaults,
                                   platform::Menu& presetPullDown, platform::Menu& statusMenu)
    : handoff_(loop, lifetime_),
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
    // The pop-up's scene items would recall through nothing once this is gone.
    if (platform::PopUpButton* chooser = soundTriggerChooser_) {
        auto items = chooser->items();
        const auto selected = chooser->indexOfSelectedItem();
        const bool aScene = selected && *selected < items.size() && items[*selected].tag >= sceneTagBase;
        std::erase_if(items, [](const platform::PopUpButton::Item& item) { return item.tag >= sceneTagBase; });
        chooser->setItems(std::move(items), aScene ? std::optional<std::size_t>(0) : selected);
    }
}

void BridgeSceneMenus::setSoundTriggerChooser(platform::PopUpButton* chooser) {
    std::lock_guard lock(mutex_);
    soundTriggerChooser_ = chooser;
}

void BridgeSceneMenus::setInEffectObserver(InEffectObserver observer) {
    std::lock_guard lock(mutex_);
    inEffectObserver_ = std::move(observer);
}

void BridgeSceneMenus::lampsRead(const Value& lamps) {
    std::map<std::string, std::string> updated;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        updated = sceneUpdated_;
        generation = presetsGeneration_;
    }
    // The states of a scene are read again only when the bridge says it
    // changed: a poll costs one request more, not one a scene.
    std::unique_lock matching(matchMutex_);
    auto listed = scenes_.list();
    if (listed) {
        for (const BridgeScene& scene : *listed) {
            auto known = updated.find(scene.id);
            if (known != updated.end() && known->second == scene.lastupdated) continue;
            if (auto read = scenes_.lightStates(scene.id)) {
                updated[scene.id] = scene.lastupdated;
                matcher_.setScene(scene.id, *read);
            } else {
                updated.erase(scene.id);
            }
        }
        std::erase_if(updated, [&](const auto& entry) {
            return std::none_of(listed->begin(), listed->end(),
                                [&](const BridgeScene& scene) { return scene.id == entry.first; });
        });
    }
    std::set<std::string> compared;
    for (const auto& entry : updated) compared.insert(entry.first);
    matcher_.keepScenes(compared);
    // The presets are converted again only after their menus were rebuilt,
    // which every change of the stored list leads to.
    if (generation != matchedGeneration_) {
        matcher_.setPresets(presets::storedList(defaults_));
        matchedGeneration_ = generation;
    }

    ActivePreset::InEffect found = matcher_.inEffect(lamps);
    std::set<std::string> activePresets(found.presets.begin(), found.presets.end());
    std::set<std::string> activeScenes = std::move(found.scenes);
    std::string first = found.presets.empty() ? std::string() : found.presets.front();
    matching.unlock();

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
        sceneUpdated_ = std::move(updated);
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
        ++presetsGeneration_;
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
            sceneUpdated_.erase(scene.id);  // read again at the next poll
        }
    }
    decorate();
    askAboutDeletedScenes();
}

void BridgeSceneMenus::decorate() {
    decorateMenu(presetPullDown_, false);
    decorateMenu(statusMenu_, true);
    decorateChooser();
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

void BridgeSceneMenus::decorateChooser() {
    using Item = platform::PopUpButton::Item;
    platform::PopUpButton* chooser = nullptr;
    std::vector<BridgeScene> scenes;
    {
        std::lock_guard lock(mutex_);
        chooser = soundTriggerChooser_;
        scenes = sceneList_;
    }
    if (!chooser) return;
    std::vector<Item> items = chooser->items();
    const auto selectedBefore = chooser->selectedItem();
    std::erase_if(items, [](const Item& item) { return item.tag >= sceneTagBase; });
    if (!scenes.empty()) {
        items.push_back(Item{{}, sceneTagBase, true, false, {}});
        items.push_back(Item{scenesTitle, sceneTagBase, false, true, {}});
        int tag = sceneTagBase + 1;
        for (const BridgeScene& scene : scenes) items.push_back(Item{scene.name, tag++, false, false, scene.id});
    }
    // The scene stored for the trigger while the bridge lists it; else the
    // preset chosen before, or the stored one when a chosen scene is gone.
    const std::string storedScene = defaults_.stringForKey(ManualController::soundTriggerSceneKey);
    auto indexWhere = [&](auto&& pred) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (!items[i].separator && !items[i].header && pred(items[i])) return i;
        return std::nullopt;
    };
    std::optional<std::size_t> selected;
    if (!storedScene.empty()) selected = indexWhere([&](const Item& item) { return item.represented == storedScene; });
    if (!selected && selectedBefore && selectedBefore->tag < sceneTagBase)
        selected = indexWhere([&](const Item& item) { return item == *selectedBefore; });
    if (!selected) {
        const std::string storedPreset = defaults_.stringForKey(ManualController::soundTriggerPresetKey);
        selected = indexWhere([&](const Item& item) { return item.tag < sceneTagBase && item.title == storedPreset; });
    }
    if (!selected) selected = indexWhere([](const Item&) { return true; });
    chooser->setItems(std::move(items), selected);
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
                             sceneUpdated_.erase(id);
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
