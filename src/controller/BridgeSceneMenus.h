#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bridge/BridgeScenes.h"
#include "controller/ActivePreset.h"
#include "controller/LoopHandoff.h"
#include "platform/Controls.h"
#include "platform/DefaultsStore.h"
#include "platform/Ui.h"
#include "platform/Value.h"
#include "platform/Views.h"

namespace glowmere {

class BridgeBridge;

// The bridge's scenes in the Presets menus and the preset in effect.
//
// Each poll (on the polling thread) it reads the bridge's scene list, and
// the states of scenes new or changed since the last one, then compares the
// lamps just read with every preset and scene (ActivePreset, which keeps
// them converted until the presets are rebuilt or a scene changes). What
// changed is handed to the controller thread, which ticks the presets and
// scenes in effect in the preset pull-down and the tray menu, lists the
// scenes in a section of their own after the presets there and in the sound
// trigger's pop-up, and tells the window which one is in effect. After the preset menus were rebuilt (controller
// thread) it stores presets kept on the bridge that changed, and asks, for a kept preset that was deleted, whether its
// scene goes too.
class BridgeSceneMenus {
public:
    static constexpr const char* scenesTitle = "Scenes on the bridge";
    // Tags of the items this class adds to the menus, above any preset's.
    static constexpr int sceneTagBase = 1000000;

    // A scene as the menus and the session bus offer it.
    struct SceneEntry {
        std::string id;
        std::string name;
        bool active = false;
    };
    using InEffectObserver = std::function<void(const std::string& name)>;

    BridgeSceneMenus(platform::RunLoop& loop, BridgeBridge& bridge, platform::DefaultsStore& defaults,
                     platform::Menu& presetPullDown, platform::Menu& statusMenu);
    ~BridgeSceneMenus();
    BridgeSceneMenus(const BridgeSceneMenus&) = delete;
    BridgeSceneMenus& operator=(const BridgeSceneMenus&) = delete;

    void setAlerts(platform::Alerts* alerts) { alerts_ = alerts; }
    // The sound trigger's pop-up: the scenes are offered there too, and the
    // scene stored for the trigger is chosen once it is listed.
    void setSoundTriggerChooser(platform::PopUpButton* chooser);
    // Told on the controller thread with the name of the preset or scene in
    // effect (a preset before a scene), or "" when none is, on changes only.
    void setInEffectObserver(InEffectObserver observer);

    // Polling thread: the lamps a poll just read (the bridge client's list).
    void lampsRead(const Value& lamps);
    // Controller thread: the preset menus were rebuilt from the stored list.
    void presetMenusRebuilt();

    // "Also keep on the bridge" of the preset called `name` (controller
    // thread): turning it on stores the preset as a scene at once.
    bool keptOnBridge(const std::string& presetName) const;
    void setKeptOnBridge(const std::string& presetName, bool keep);

    // Recalls a scene by identifier or name (one request). Any thread.
    bool applyScene(const std::string& idOrName, std::optional<double> transitionSeconds = std::nullopt);
    // The scenes as last read, and the presets and scenes in effect. Any thread.
    std::vector<SceneEntry> scenes() const;
    std::set<std::string> activePresetNames() const;
    std::string inEffect() const;

private:
    void decorate();
    void decorateMenu(platform::Menu& menu, bool beforeLastSeparator);
    void decorateChooser();
    void askAboutDeletedScenes();

    // Before the hand-off, which keeps a weak reference to it.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    LoopHandoff handoff_;
    BridgeScenes scenes_;
    platform::DefaultsStore& defaults_;
    platform::Menu& presetPullDown_;
    platform::Menu& statusMenu_;
    platform::Alerts* alerts_ = nullptr;
    // The polling thread's: the presets and scenes as compared, and the
    // presets' generation they were converted from (a lock of their own, in
    // case two polls ever overlap).
    std::mutex matchMutex_;
    ActivePreset matcher_;
    std::uint64_t matchedGeneration_ = 0;

    mutable std::mutex mutex_;  // everything below
    InEffectObserver inEffectObserver_;
    platform::PopUpButton* soundTriggerChooser_ = nullptr;
    std::uint64_t presetsGeneration_ = 1;  // counts the preset menus' rebuilds
    std::vector<BridgeScene> sceneList_;
    bool sceneListRead_ = false;
    std::map<std::string, std::string> sceneUpdated_;  // id -> lastupdated of the states compared
    std::set<std::string> activePresets_;              // names
    std::set<std::string> activeScenes_;               // ids
    std::string inEffect_;
    std::string toldInEffect_;
    // Kept presets as last seen: preset ID -> (name, scene ID).
    std::map<std::string, std::pair<std::string, std::string>> keptPresets_;
    bool keptPresetsSeen_ = false;
};

}  // namespace glowmere
