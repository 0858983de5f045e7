#include "controls/LampSelectionView.h"

namespace glowmere {

LampSelectionView::LampSelectionView(platform::Rect frame)
    : view_(std::make_shared<platform::View>("selection", frame)) {}

platform::View* LampSelectionView::addCheckbox(platform::Rect frame, int tag) {
    auto button = std::make_shared<platform::Button>();
    button->setTag(tag);
    auto checkbox = std::make_shared<platform::View>("checkbox", frame, button);
    checkbox->setIdentifier("checkbox");  // drawn as a tick box
    view_->addSubview(checkbox);
    return checkbox.get();
}

Value LampSelectionView::getSelectedIDs() const {
    Value selected = Value::emptyList();
    for (const auto& subview : view_->subviews()) {
        auto* button = dynamic_cast<platform::Button*>(subview->control());
        if (button && button->state() == 1) selected.append(Value(button->tag()));
    }
    return selected;
}

Value LampSelectionView::deselectAll() {
    for (const auto& subview : view_->subviews())
        if (auto* button = dynamic_cast<platform::Button*>(subview->control())) button->setState(0);
    return Value::emptyList();
}

platform::View* LampSelectionView::checkboxWithTag(int tag) const {
    for (const auto& subview : view_->subviews()) {
        auto* button = dynamic_cast<platform::Button*>(subview->control());
        if (button && button->tag() == tag) return subview.get();
    }
    return nullptr;
}

}  // namespace glowmere
