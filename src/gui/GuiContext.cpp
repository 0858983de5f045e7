#include "gui/GuiContext.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace glowmere::gui {

void postToGui(std::function<void()> work) {
    if (auto* app = QCoreApplication::instance()) QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void setHiddenBy(QWidget* widget, HiddenBy who, bool hidden) {
    static const char* const names[] = {"glowmereHiddenByView", "glowmereHiddenByControl", "glowmereHiddenByContainer"};
    widget->setProperty(names[static_cast<int>(who)], hidden);
    bool anyHidden = false;
    for (const char* name : names) anyHidden = anyHidden || widget->property(name).toBool();
    widget->setVisible(!anyHidden);
}

}  // namespace glowmere::gui
