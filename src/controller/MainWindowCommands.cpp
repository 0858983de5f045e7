// The main controller's commands of the main window: the search for new
// bulbs, the tray's lamps menu, the settings that take effect at once, and
// what the window says about the bridge.
#include <algorithm>
#include <chrono>

#include "bridge/JsonText.h"
#include "controller/ManualController.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

// ---------------------------------------------------------------------------
// The search for new bulbs

void ManualController::discoverNewBulbs() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::discoverNewBulbs");
    if (!alerts_) return bulbSearch_.start();
    platform::AlertSpec alert;
    alert.message = "Search for new bulbs?";
    alert.defaultButton = "Search";
    alert.alternateButton = "Cancel";
    alert.informativeText = "If new ones are found, they'll be added here. This may take up to a minute.";
    alert.icon = platform::AlertIcon::Question;
    alerts_->ask(alert, [this, alive = std::weak_ptr<void>(lifetime_)](platform::AlertResponse answer) {
        if (answer == platform::AlertResponse::Default && !alive.expired()) bulbSearch_.start();
    });
}

// ---------------------------------------------------------------------------
// The tray's lamps menu

std::optional<std::string> ManualController::nameForID(bool group, const std::string& id) const {
    std::lock_guard lock(stripNamesMutex_);
    auto it = stripNames_.find({group, id});
    if (it == stripNames_.end() || it->second.empty()) return std::nullopt;
    return it->second;
}

void ManualController::refreshLampsMenu() {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::refreshLampsMenu");
    {
        std::map<std::pair<bool, std::string>, std::string> names;
        for (const auto& strip : collection_)
            if (strip->label()) names[{strip->isGroup(), strip->getID()}] = strip->label()->stringValue();
        std::lock_guard lock(stripNamesMutex_);
        stripNames_ = std::move(names);
    }
    std::vector<platform::Menu::Item> items;
    for (const auto& strip : collection_) {
        platform::Menu::Item item;
        item.title = strip->label() ? strip->label()->stringValue() : strip->getID();
        item.tag = strip->tag();
        const bool on = strip->onoffButton() && strip->onoffButton()->state() == 1;
        item.checked = on;
        const bool group = strip->isGroup();
        const std::string id = strip->getID();
        item.action = [this, group, id](const platform::Menu::Item& chosen) {
            LampControlStrip* target = group ? getGroupStripWithID(id) : getStripWithID(id);
            if (!target) return;
            if (chosen.checked.value_or(false))
                target->switchOff();
            else
                target->switchOn();
            refreshLampsMenu();
        };
        items.push_back(std::move(item));
    }
    // Unchanged lists are not sent again: the tray's menu may be open.
    const auto current = lampsMenu_.items();
    bool same = current.size() == items.size();
    for (std::size_t i = 0; same && i < items.size(); ++i)
        same = current[i].title == items[i].title && current[i].checked == items[i].checked &&
               current[i].tag == items[i].tag;
    if (!same) lampsMenu_.setItems(std::move(items));
}

// ---------------------------------------------------------------------------
// Settings that take effect at once

void ManualController::allowFoldChanged() {
    const bool allowed = settings_.allowFold.state() == 1;
    defaults_.setObject(ControllerSettings::allowFoldKey, allowed);
    for (const auto& strip : collection_) {
        if (!allowed && strip->isRotated()) strip->unRotateControlStripView(true);
        if (allowed && !strip->isRotated()) {
            auto state = getUIStateForGroupID(strip->isGroup(), strip->getID());
            if (state && (*state)["folded"].boolValue()) strip->rotateControlStripView(true);
        }
    }
}

void ManualController::makeAllGroupChanged() {
    defaults_.setObject(makeAllGroupKey, settings_.makeAllGroup.state() == 1);
    if (setUp_) refreshSetUp();
}

// ---------------------------------------------------------------------------
// The bridge's state

void ManualController::setBridgeState(BridgeState state) {
    BridgeStateObserver observer;
    {
        std::lock_guard g(bridgeStateMutex_);
        if (bridgeState_.exchange(state) == state) return;
        observer = bridgeStateObserver_;
    }
    if (observer) observer(state, bridgeBridge_.bridgeAddress().value_or(""));
}

void ManualController::noteBridgeAnswer(const std::optional<Value>& lights) {
    if (bridgeBridge_.bridgeAddress()) {
        std::lock_guard g(bridgeStateMutex_);
        lookingSince_.reset();
    }
    if (!lights) {
        // A bridge whose address is known but that does not answer is not
        // reachable; without an address it is still being looked for.
        if (!bridgeBridge_.bridgeAddress())
            noteNoBridgeYet();
        else
            setBridgeState(bridgeBridge_.isPaired() ? BridgeState::NotReachable : BridgeState::NotPaired);
        return;
    }
    setBridgeState(lights->isList() && lights->size() > 0 ? BridgeState::Ready : BridgeState::NoLamps);
}

void ManualController::noteNoBridgeYet() {
    const auto now = loop_.clock().now();
    bool nothingFound = false;
    {
        std::lock_guard g(bridgeStateMutex_);
        if (bridgeState_ == BridgeState::NoBridgeFound) return;  // said already; set-up keeps trying
        if (!lookingSince_) lookingSince_ = now;
        nothingFound = now - *lookingSince_ >= noBridgeFoundAfter;
    }
    setBridgeState(nothingFound ? BridgeState::NoBridgeFound : BridgeState::LookingForBridge);
}

void ManualController::searchAgain() {
    {
        std::lock_guard g(bridgeStateMutex_);
        lookingSince_ = loop_.clock().now();
    }
    setBridgeState(BridgeState::LookingForBridge);
    retryBridge();
}

void ManualController::retryBridge() {
    if (!setUp_) {
        setUp();
        return;
    }
    pollOnce();
}

}  // namespace glowmere
