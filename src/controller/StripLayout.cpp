#include "controller/StripLayout.h"

#include <algorithm>
#include <limits>

namespace glowmere {

void StripLayout::clear() {
    places_.clear();
    hidden_.clear();
}

void StripLayout::resetSelectionViews() {
    lampSelectionView_.reset();
    groupSelectionView_.reset();
}

void StripLayout::place(LampControlStrip& strip) {
    platform::View* view = strip.mainView();
    // Until the layout runs, in the bridge's order.
    const double n = static_cast<double>(collection_.empty() ? 0 : collection_.size() - 1);
    view->setFrameOrigin({n * stripPitch + stripMargin, stripMargin});
    controlPanel_.contentView().addSubview(strip.getControlStripView()->sharedView());
    auto state = stateFor(strip.isGroup(), strip.getID());
    if (!state) return;
    if (state->contains("place")) places_[keyOf(strip)] = static_cast<int>((*state)["place"].intValue());
    if ((*state)["hidden"].boolValue()) {
        hidden_.insert(keyOf(strip));
        view->setHidden(true);
    }
    if ((*state)["folded"].boolValue()) strip.rotateControlStripView(true);
}

void StripLayout::buildSelectionViews() {
    if (lampSelectionView_) lampSelectionView_->view().removeFromSuperview();
    if (groupSelectionView_) groupSelectionView_->view().removeFromSuperview();
    platform::Rect frame{{18, 10}, {static_cast<double>(collection_.size()) * stripPitch, 20}};
    lampSelectionView_ = std::make_unique<LampSelectionView>(frame);
    groupSelectionView_ = std::make_unique<LampSelectionView>(frame);
    for (std::size_t k = 0; k < collection_.size(); ++k) {
        const auto& strip = collection_[k];
        LampSelectionView& row = strip->isGroup() ? *groupSelectionView_ : *lampSelectionView_;
        row.addCheckbox({{static_cast<double>(k) * stripPitch + 38.5, 0}, {18, 18}}, strip->tag());
    }
    for (LampSelectionView* row : {lampSelectionView_.get(), groupSelectionView_.get()}) {
        controlPanel_.contentView().addSubview(row->sharedView());
        row->view().setHidden(true);
    }
}

platform::View* StripLayout::checkboxOf(const LampControlStrip& strip) const {
    LampSelectionView* row = strip.isGroup() ? groupSelectionView_.get() : lampSelectionView_.get();
    return row ? row->checkboxWithTag(strip.tag()) : nullptr;
}

void StripLayout::arrange() {
    double x = stripMargin;
    // In the user's order; hidden strips take no room and offer no box.
    std::vector<LampControlStrip*> shown;
    for (LampControlStrip* strip : displayOrder()) {
        const bool hidden = isHidden(*strip);
        if (platform::View* box = checkboxOf(*strip)) box->setHidden(hidden);
        if (!hidden) shown.push_back(strip);
    }
    for (LampControlStrip* strip : shown) {
        if (!strip->isRotated()) continue;
        x += foldedPitch;
        if (platform::View* view = strip->mainView()) view->setFrameOrigin({x, foldedY}, true);
        if (platform::View* box = checkboxOf(*strip)) box->setFrameOrigin({x - 44, box->frame().origin.y});
    }
    for (LampControlStrip* strip : shown) {
        if (strip->isRotated()) continue;
        if (platform::View* view = strip->mainView()) view->setFrameOrigin({x, stripMargin}, true);
        x += stripPitch;
        if (platform::View* box = checkboxOf(*strip)) box->setFrameOrigin({x - 76, box->frame().origin.y});
    }
    platform::Rect frame = controlPanel_.frame();
    frame.size.width = std::max(minimumWindowWidth, x + 156);
    controlPanel_.setFrame(frame, true);
    for (LampSelectionView* row : {lampSelectionView_.get(), groupSelectionView_.get()})
        if (row) row->view().setFrameSize({x, row->view().frame().size.height});
}

std::optional<Value> StripLayout::stateFor(bool group, const std::string& id) const {
    Value entries = defaults_.objectForKey(uiStateKey);
    if (!entries.isList()) return std::nullopt;
    for (const Value& entry : entries.asList())
        if (entry.isMap() && entry["group"].boolValue() == group && entry["ID"].textValue() == id) return entry;
    return std::nullopt;
}

void StripLayout::save() {
    Value entries = Value::emptyList();
    for (const auto& each : collection_) {
        Value entry = Value::map({{"ID", each->getID()}, {"folded", each->isRotated()}, {"group", each->isGroup()}});
        if (auto place = places_.find(keyOf(*each)); place != places_.end()) entry.set("place", place->second);
        if (isHidden(*each)) entry.set("hidden", true);
        entries.append(std::move(entry));
    }
    defaults_.setObject(uiStateKey, std::move(entries));
}

std::vector<LampControlStrip*> StripLayout::displayOrder() const {
    std::vector<LampControlStrip*> order;
    for (const auto& strip : collection_) order.push_back(strip.get());
    // Strips the user placed by their place; new ones after them, in the
    // bridge's order.
    auto placeOf = [this](const LampControlStrip* strip) {
        auto it = places_.find(keyOf(*strip));
        return it == places_.end() ? std::numeric_limits<int>::max() : it->second;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](const LampControlStrip* a, const LampControlStrip* b) { return placeOf(a) < placeOf(b); });
    return order;
}

void StripLayout::hide(LampControlStrip& strip) {
    hidden_.insert(keyOf(strip));
    if (platform::View* view = strip.mainView()) view->setHidden(true);
}

void StripLayout::showHidden() {
    for (const auto& strip : collection_)
        if (isHidden(*strip))
            if (platform::View* view = strip->mainView()) view->setHidden(false);
    hidden_.clear();
}

bool StripLayout::move(LampControlStrip& strip, int step) {
    if (step == 0) return false;
    std::vector<LampControlStrip*> order = displayOrder();
    auto at = std::find(order.begin(), order.end(), &strip);
    if (at == order.end()) return false;
    // The next shown strip that way changes places with it.
    auto other = at;
    do {
        if (step < 0 && other == order.begin()) return false;
        other += step < 0 ? -1 : 1;
        if (other == order.end()) return false;
    } while (isHidden(**other));
    std::iter_swap(at, other);
    places_.clear();
    for (std::size_t i = 0; i < order.size(); ++i) places_[keyOf(*order[i])] = static_cast<int>(i);
    return true;
}

}  // namespace glowmere
