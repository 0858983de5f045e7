#include "gui/adapters/SleepWatcher.h"

namespace glowmere::gui {

SleepWatcher::SleepWatcher(QDBusConnection bus, std::function<void()> woke, QObject* parent)
    : QObject(parent), woke_(std::move(woke)) {
    // Any sender: only logind says this, and a wake that is not one merely
    // plans the listening clock again.
    watching_ = bus.isConnected() && bus.connect(QString(), "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                                 "PrepareForSleep", this, SLOT(prepareForSleep(bool)));
}

void SleepWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping && woke_) woke_();
}

}  // namespace glowmere::gui
