#include "gui/adapters/QtProgressIndicator.h"

#include "gui/app/GuiContext.h"

namespace glowmere::gui {

void QtProgressIndicator::startAnimation() {
    animating_ = true;
    QPointer<Throbber> t = throbber_;
    postToGui([t] {
        if (t) t->setSpinning(true);
    });
}

void QtProgressIndicator::stopAnimation() {
    animating_ = false;
    QPointer<Throbber> t = throbber_;
    postToGui([t] {
        if (t) t->setSpinning(false);
    });
}

}  // namespace glowmere::gui
