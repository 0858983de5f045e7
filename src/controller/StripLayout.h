#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "controls/LampControlStrip.h"
#include "controls/LampSelectionView.h"
#include "platform/DefaultsStore.h"
#include "platform/Ui.h"
#include "platform/Views.h"

namespace glowmere {

// Where the strips stand in the main window: each strip's place and hidden
// flag as the user arranged them (kept with its UI state, "place" and
// "hidden" in its entry), the order the window shows them in, their frames,
// and the rows of checkboxes the group commands show under them. The
// collection itself (and its order, the bridge's) belongs to the controller;
// everything here runs on the controller thread.
class StripLayout {
public:
    using Strips = std::vector<std::unique_ptr<LampControlStrip>>;

    static constexpr const char* uiStateKey = "UIState";
    // In points.
    static constexpr double stripPitch = 95;
    static constexpr double foldedPitch = 28;
    static constexpr double stripMargin = 20;
    static constexpr double foldedY = 363;
    static constexpr double minimumWindowWidth = 500;

    StripLayout(const Strips& collection, platform::DefaultsStore& defaults, platform::MainWindow& controlPanel)
        : collection_(collection), defaults_(defaults), controlPanel_(controlPanel) {}

    // Forgets the arrangement; it is read again as the strips are placed.
    void clear();
    // Puts a new strip (the collection's last) in the window, in the place,
    // hidden and folded as its stored state says.
    void place(LampControlStrip& strip);
    // Replaces the checkbox rows with ones for the current strips.
    void buildSelectionViews();
    // Frames every shown strip and checkbox, folded ones first, and fits
    // the window around them.
    void arrange();

    // The stored UI state of one strip, or none.
    std::optional<Value> stateFor(bool group, const std::string& id) const;
    // Every strip's entry, written anew: strips that are gone leave the list.
    void save();

    // The strips in the order the window shows them, hidden ones included.
    std::vector<LampControlStrip*> displayOrder() const;
    bool isHidden(const LampControlStrip& strip) const { return hidden_.count(keyOf(strip)) > 0; }
    void hide(LampControlStrip& strip);
    // One place left (step -1) or right (+1) among the shown strips; false
    // when there is nowhere to go.
    bool move(LampControlStrip& strip, int step);
    void showHidden();

    LampSelectionView* lampSelectionView() const { return lampSelectionView_.get(); }
    LampSelectionView* groupSelectionView() const { return groupSelectionView_.get(); }
    void resetSelectionViews();

private:
    // A strip's place and hidden flag, by group flag and identifier.
    using StripKey = std::pair<bool, std::string>;
    static StripKey keyOf(const LampControlStrip& strip) { return {strip.isGroup(), strip.getID()}; }
    platform::View* checkboxOf(const LampControlStrip& strip) const;

    const Strips& collection_;
    platform::DefaultsStore& defaults_;
    platform::MainWindow& controlPanel_;
    std::map<StripKey, int> places_;
    std::set<StripKey> hidden_;
    std::unique_ptr<LampSelectionView> lampSelectionView_;
    std::unique_ptr<LampSelectionView> groupSelectionView_;
};

}  // namespace glowmere
