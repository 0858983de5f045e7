#include "gui/adapters/SessionBusNotifications.h"

#include <QDBusMessage>

namespace glowmere::gui {

void SessionBusNotifications::postNotificationNameObject(const std::string& name, const std::string& object) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, interfaceName, QString::fromStdString(name));
    signal << QString::fromStdString(object);
    bus.send(signal);
}

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
