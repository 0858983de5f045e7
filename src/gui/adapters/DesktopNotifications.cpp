#include "gui/adapters/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <atomic>

#include "gui/app/GuiContext.h"

namespace glowmere::gui {

struct DesktopNotifications::Shared {
    explicit Shared(QDBusConnection b) : bus(std::move(b)) {}
    QDBusConnection bus;
    std::atomic<int> sent{0};
};

DesktopNotifications::DesktopNotifications(QDBusConnection bus, std::function<bool()> enabled)
    : shared_(std::make_shared<Shared>(std::move(bus))), enabled_(std::move(enabled)) {}

DesktopNotifications::~DesktopNotifications() = default;

int DesktopNotifications::sent() const {
    return shared_->sent;
}

void DesktopNotifications::notify(const QString& summary, const QString& body) {
    if (enabled_ && !enabled_()) return;
    postToGui([weak = std::weak_ptr<Shared>(shared_), summary, body] {
        auto shared = weak.lock();
        if (!shared || !shared->bus.isConnected()) return;
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                           "org.freedesktop.Notifications", "Notify");
        // app name, replaces id, icon, summary, body, actions, hints, timeout (the server's).
        call << QStringLiteral("Glowmere") << 0u << QStringLiteral("glowmere") << summary << body << QStringList()
             << QVariantMap() << -1;
        // No service: the call fails on its own, unseen.
        shared->bus.asyncCall(call);
        ++shared->sent;
    });
}

void DesktopNotifications::bridgeAnswers(bool answers, const QString& address) {
    {
        std::lock_guard lock(mutex_);
        if (lost_ == !answers) return;
        lost_ = !answers;
    }
    if (answers)
        notify(QObject::tr("The bridge answers again"), QObject::tr("Glowmere reaches the bridge at %1.").arg(address));
    else
        notify(QObject::tr("The bridge does not answer"),
               QObject::tr("Glowmere cannot reach the bridge at %1; it keeps trying.").arg(address));
}

}  // namespace glowmere::gui
