#include "controls/ControlStripView.h"

#include "controls/LampControlStrip.h"

namespace glowmere {

ControlStripView::ControlStripView(std::shared_ptr<platform::View> view) : view_(std::move(view)) {
    if (view_) view_->setMouseUpHandler([this](int clickCount) { mouseUp(clickCount); });
}

ControlStripView::~ControlStripView() {
    // The view may outlive us in the GUI's hands; it must not call back.
    if (view_) view_->setMouseUpHandler({});
}

void ControlStripView::mouseUp(int clickCount) {
    if (clickCount == 2 && target_) target_->doubleClick();
}

}  // namespace glowmere
