#include "gui/adapters/QtTabView.h"

#include "gui/adapters/QtText.h"
#include "gui/app/GuiContext.h"

namespace glowmere::gui {

void QtTabView::selectTabViewItemWithIdentifier(const std::string& identifier) {
    QPointer<QTabWidget> tabs = tabs_;
    postToGui([tabs, id = qs(identifier)] {
        if (!tabs) return;
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->objectName() == id) tabs->setCurrentIndex(i);
    });
}

}  // namespace glowmere::gui
