#include "platform/Controls.h"

#include <algorithm>

#include "platform/Value.h"

namespace glowmere::platform {

int Control::tag() const {
    std::lock_guard g(mutex_);
    return tag_;
}
void Control::setTag(int tag) {
    if (assign(tag_, tag)) changed();
}
bool Control::isHidden() const {
    std::lock_guard g(mutex_);
    return hidden_;
}
void Control::setHidden(bool hidden) {
    if (assign(hidden_, hidden)) changed();
}
bool Control::isEnabled() const {
    std::lock_guard g(mutex_);
    return enabled_;
}
void Control::setEnabled(bool enabled) {
    if (assign(enabled_, enabled)) changed();
}
std::string Control::identifier() const {
    std::lock_guard g(mutex_);
    return identifier_;
}
void Control::setIdentifier(std::string identifier) {
    std::lock_guard g(mutex_);
    identifier_ = std::move(identifier);
}
void Control::setAction(Action action) {
    std::lock_guard g(mutex_);
    action_ = std::move(action);
}
bool Control::hasAction() const {
    std::lock_guard g(mutex_);
    return static_cast<bool>(action_);
}
void Control::sendAction() {
    Action action;
    {
        std::lock_guard g(mutex_);
        action = action_;
    }
    if (action) action(this);
}
void Control::setObserver(Observer observer) {
    std::lock_guard g(mutex_);
    observer_ = std::move(observer);
}
void Control::changed() {
    Observer observer;
    {
        std::lock_guard g(mutex_);
        observer = observer_;
    }
    if (observer) observer(this);
}

Slider::Slider(double minValue, double maxValue, double value) : min_(minValue), max_(maxValue), value_(value) {}
double Slider::doubleValue() const {
    std::lock_guard g(mutex_);
    return value_;
}
void Slider::setDoubleValue(double value) {
    if (assign(value_, std::clamp(value, min_, max_))) changed();
}
double Slider::minValue() const {
    std::lock_guard g(mutex_);
    return min_;
}
double Slider::maxValue() const {
    std::lock_guard g(mutex_);
    return max_;
}

Button::Button(std::string title) : title_(std::move(title)) {}
int Button::state() const {
    std::lock_guard g(mutex_);
    return state_;
}
void Button::setState(int state) {
    if (assign(state_, state)) changed();
}
std::string Button::title() const {
    std::lock_guard g(mutex_);
    return title_;
}
void Button::setTitle(std::string title) {
    if (assign(title_, std::move(title))) changed();
}

TextField::TextField(std::string text) : text_(std::move(text)) {}
std::string TextField::stringValue() const {
    std::lock_guard g(mutex_);
    return text_;
}
void TextField::setStringValue(std::string text) {
    if (assign(text_, std::move(text))) changed();
}
float TextField::floatValue() const {
    return static_cast<float>(leadingReal(stringValue()));
}
TextField::Alignment TextField::alignment() const {
    std::lock_guard g(mutex_);
    return alignment_;
}
void TextField::setAlignment(Alignment alignment) {
    if (assign(alignment_, alignment)) changed();
}

void PopUpButton::removeAllItems() {
    {
        std::lock_guard g(mutex_);
        items_.clear();
        selected_.reset();
    }
    changed();
}
void PopUpButton::addItem(std::string title, int tag) {
    {
        std::lock_guard g(mutex_);
        items_.push_back({std::move(title), tag, false, false, {}});
        if (!selected_) selected_ = items_.size() - 1;
    }
    changed();
}
void PopUpButton::addSeparator() {
    {
        std::lock_guard g(mutex_);
        items_.push_back({{}, 0, true, false, {}});
    }
    changed();
}
void PopUpButton::setItems(std::vector<Item> items, std::optional<std::size_t> selected) {
    if (selected && (*selected >= items.size() || items[*selected].separator || items[*selected].header))
        selected.reset();
    {
        std::lock_guard g(mutex_);
        if (items_ == items && selected_ == selected) return;
        items_ = std::move(items);
        selected_ = selected;
    }
    changed();
}
std::vector<PopUpButton::Item> PopUpButton::items() const {
    std::lock_guard g(mutex_);
    return items_;
}
std::size_t PopUpButton::numberOfItems() const {
    std::lock_guard g(mutex_);
    return items_.size();
}
std::optional<std::size_t> PopUpButton::indexOfSelectedItem() const {
    std::lock_guard g(mutex_);
    return selected_;
}
std::optional<PopUpButton::Item> PopUpButton::selectedItem() const {
    std::lock_guard g(mutex_);
    if (!selected_ || *selected_ >= items_.size()) return std::nullopt;
    return items_[*selected_];
}
bool PopUpButton::selectItemAtIndex(std::size_t index) {
    {
        std::lock_guard g(mutex_);
        if (index >= items_.size() || items_[index].separator || items_[index].header) return false;
        selected_ = index;
    }
    changed();
    return true;
}
bool PopUpButton::selectItemWithTag(int tag) {
    std::optional<std::size_t> index;
    {
        std::lock_guard g(mutex_);
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (!items_[i].separator && !items_[i].header && items_[i].tag == tag) {
                index = i;
                break;
            }
    }
    return index && selectItemAtIndex(*index);
}
bool PopUpButton::selectItemWithTitle(const std::string& title) {
    std::optional<std::size_t> index;
    {
        std::lock_guard g(mutex_);
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (!items_[i].separator && !items_[i].header && items_[i].title == title) {
                index = i;
                break;
            }
    }
    return index && selectItemAtIndex(*index);
}

}  // namespace glowmere::platform
