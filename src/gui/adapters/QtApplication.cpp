#include "gui/adapters/QtApplication.h"

namespace glowmere::gui {

void QtApplication::activateIgnoringOtherApps(bool) {
    auto find = mainWindow_;
    postToGui([find] {
        if (QWidget* w = find ? find() : nullptr) w->activateWindow();
    });
}

platform::StatusItem* QtApplication::statusItemWithVariableLength() {
    return makeStatusItem_ ? makeStatusItem_() : nullptr;
}

}  // namespace glowmere::gui
