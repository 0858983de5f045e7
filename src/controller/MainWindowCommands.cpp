// The main controller's commands of the main window: making and removing
// groups, the search for new bulbs, the tray's lamps menu, the settings that
// take effect at once, and what the window says about the bridge.
#include <algorithm>
#include <chrono>

#include "bridge/JsonText.h"
#include "controller/ManualController.h"
#include "platform/InputChecks.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

namespace {

std::string tagList(const Value& tags) {
    std::string text = "(";
    if (tags.isList())
        for (std::size_t i = 0; i < tags.size(); ++i) text += (i ? ", " : "") + tags.at(i).textValue();
    return text + ")";
}

}  // namespace

// ---------------------------------------------------------------------------
// Groups

void ManualController::wireGroupPopovers() {
    for (platform::Popover* popover : {makeGroupPopover_.get(), removeGroupPopover_.get()}) {
        if (!popover || !popover->contentView()) continue;
        const bool make = popover == makeGroupPopover_.get();
        for (const auto& sub : popover->contentView()->subviews()) {
            auto* button = dynamic_cast<platform::Button*>(sub->control());
            if (!button) continue;
            button->setAction([this, make](platform::Control* sender) {
                if (make)
                    makeGroupPopoverClose(sender);
                else
                    removeGroupPopoverClose(sender);
            });
        }
    }
}

namespace {
platform::TextField* makeGroupNameField(platform::Popover* popover) {
    if (!popover || !popover->contentView()) return nullptr;
    for (const auto& sub : popover->contentView()->subviews())
        if (sub->control() && sub->control()->identifier() == "makeGroupNameField")
            return dynamic_cast<platform::TextField*>(sub->control());
    return nullptr;
}
}  // namespace

void ManualController::makeGroupStep1() {
    if (!lampSelectionView_) return;
    lampSelectionView_->deselectAll();
    lampSelectionView_->view().setHidden(false);
    if (auto* field = makeGroupNameField(makeGroupPopover_.get())) field->setStringValue("");
    showMakeGroupPopover();
}

void ManualController::showMakeGroupPopover() {
    if (!makeGroupPopover_ || !lampSelectionView_) return;
    platform::View& anchor = lampSelectionView_->view();
    makeGroupPopover_->showRelativeToRectOfViewPreferredEdge({{0, 0}, anchor.frame().size}, &anchor,
                                                             platform::RectEdge::MaxX);
}

void ManualController::makeGroupPopoverClose(platform::Control* sender) {
    if (makeGroupPopover_) makeGroupPopover_->close();
    if (lampSelectionView_) lampSelectionView_->view().setHidden(true);
    if (sender && sender->tag() != 0 && lampSelectionView_) makeGroup(lampSelectionView_->getSelectedIDs());
}

void ManualController::makeGroup(const Value& tags) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::makeGroup");
    platform::TextField* field = makeGroupNameField(makeGroupPopover_.get());
    const std::optional<std::string> fitted = platform::fittedName(field ? field->stringValue() : std::string());
    if (!tags.isList() || tags.empty() || !fitted) return;
    const std::string& name = *fitted;
    std::vector<std::string> lamps;
    for (const Value& tag : tags.asList())
        if (LampControlStrip* strip = stripWithTag(tag.intValue())) lamps.push_back(strip->getID());
    setPollingEnabled(false);
    bridgeBridge_.makeGroupNamed(lamps, name);
    refreshSetUp();
    setPollingEnabled(true);
}

void ManualController::removeGroupStep1() {
    if (!groupSelectionView_) return;
    groupSelectionView_->deselectAll();
    groupSelectionView_->view().setHidden(false);
    showRemoveGroupPopover();
}

void ManualController::showRemoveGroupPopover() {
    if (!removeGroupPopover_ || !groupSelectionView_) return;
    platform::View& anchor = groupSelectionView_->view();
    removeGroupPopover_->showRelativeToRectOfViewPreferredEdge({{0, 0}, anchor.frame().size}, &anchor,
                                                               platform::RectEdge::MaxX);
}

void ManualController::removeGroupPopoverClose(platform::Control* sender) {
    if (removeGroupPopover_) removeGroupPopover_->close();
    if (groupSelectionView_) groupSelectionView_->view().setHidden(true);
    if (sender && sender->tag() != 0 && groupSelectionView_) removeGroup(groupSelectionView_->getSelectedIDs());
}

void ManualController::removeGroup(const Value& tags) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "ManualController::removeGroup");
    platform::log("removing groups " + tagList(tags));
    if (!tags.isList() || tags.empty()) return;
    setPollingEnabled(false);
    // The strips go at the rebuild; their identifiers are read first.
    std::vector<std::string> ids;
    for (const Value& tag : tags.asList())
        if (LampControlStrip* strip = groupWithTag(tag.intValue())) ids.push_back(strip->getID());
    for (const std::string& id : ids) {
        if (id == "0") {
            // The bridge's group of all lamps stays; only its strip goes.
            settings_.makeAllGroup.setState(0);
            defaults_.setObject(makeAllGroupKey, false);
        } else {
            bridgeBridge_.removeGroupNamed(id);
        }
    }
    refreshSetUp();
    setPollingEnabled(true);
}

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
