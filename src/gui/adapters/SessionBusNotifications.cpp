#include "gui/adapters/SessionBusNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace glowmere::gui {

void SessionBusNotifications::postNotificationNameObject(const std::string& name, const std::string& object) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, interfaceName, QString::fromStdString(name));
    signal << QString::fromStdString(object);
    bus.send(signal);
}

}  // namespace glowmere::gui
