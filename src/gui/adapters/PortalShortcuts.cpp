#include "gui/adapters/PortalShortcuts.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "platform/Log.h"

namespace {

// One element of BindShortcuts' a(sa{sv}): the identifier and its details.
struct PortalShortcutEntry {
    QString id;
    QVariantMap details;
};

}  // namespace

Q_DECLARE_METATYPE(PortalShortcutEntry)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.details;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.details;
    argument.endStructure();
    return argument;
}

}  // namespace

namespace glowmere::gui {

PortalShortcuts::PortalShortcuts(QDBusConnection bus, std::vector<Shortcut> shortcuts,
                                 std::function<void(const QString&)> activated, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), shortcuts_(std::move(shortcuts)), activated_(std::move(activated)) {
    qDBusRegisterMetaType<PortalShortcutEntry>();
    qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
}

QString PortalShortcuts::stateText() const {
    switch (state_) {
        case State::NotStarted:
        case State::Registering:
            return tr("Asking the desktop for global shortcuts…");
        case State::Registered:
            return tr(
                "The shortcuts are registered with the desktop. Choose their keys in the desktop's "
                "keyboard settings (or the dialog it showed).");
        case State::Declined:
            return tr(
                "The desktop did not take the shortcuts. You can bind these commands to keys in its "
                "keyboard settings instead:");
        case State::Missing:
            break;
    }
    return tr(
        "This desktop offers no global shortcuts to applications. Bind these commands to keys in its "
        "keyboard settings instead:");
}

void PortalShortcuts::setState(State state) {
    if (state == state_) return;
    state_ = state;
    emit stateChanged();
}

QString PortalShortcuts::requestPath(const QString& token) const {
    // The portal's request objects live under the caller's unique name,
    // without its ':' and with '_' for '.'.
    QString sender = bus_.baseService().mid(1);
    sender.replace('.', '_');
    return QString(portalPath) + "/request/" + sender + "/" + token;
}

void PortalShortcuts::start() {
    if (!bus_.isConnected()) {
        setState(State::Missing);
        return;
    }
    setState(State::Registering);
    QVariantMap options;
    options.insert("session_handle_token", QString("glowmere%1").arg(QCoreApplication::applicationPid()));
    request("CreateSession", {}, options, SLOT(sessionCreated(uint, QVariantMap)));
}

void PortalShortcuts::request(const QString& method, QList<QVariant> arguments, QVariantMap options, const char* slot) {
    const QString token = QString("glowmere_%1").arg(++tokens_);
    options.insert("handle_token", token);
    // Listening before the call: the answer may come before the call returns.
    const QString expected = requestPath(token);
    bus_.connect(portalService, expected, requestInterface, "Response", this, slot);
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    arguments.append(options);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, expected, method, slot = QByteArray(slot)] {
                watcher->deleteLater();
                QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                if (reply.isError()) {
                    bus_.disconnect(portalService, expected, requestInterface, "Response", this, slot.constData());
                    platform::log("no global shortcuts from the desktop (" + method.toStdString() +
                                  "): " + reply.error().message().toStdString());
                    setState(State::Missing);
                    return;
                }
                // An older portal picks the request's path itself.
                const QString path = reply.value().path();
                if (path != expected) {
                    bus_.disconnect(portalService, expected, requestInterface, "Response", this, slot.constData());
                    bus_.connect(portalService, path, requestInterface, "Response", this, slot.constData());
                }
            });
}

void PortalShortcuts::sessionCreated(uint response, const QVariantMap& results) {
    const QVariant handle = results.value("session_handle");
    session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
    if (response != 0 || session_.isEmpty()) {
        platform::log("the desktop did not open a global shortcuts session (response " + std::to_string(response) +
                      ")");
        setState(State::Declined);
        return;
    }
    bus_.connect(portalService, portalPath, shortcutsInterface, "Activated", this,
                 SLOT(shortcutActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    QList<PortalShortcutEntry> entries;
    // No preferred keys: the user chooses them in the desktop's dialog.
    for (const Shortcut& shortcut : shortcuts_) entries.append({shortcut.id, {{"description", shortcut.description}}});
    request("BindShortcuts", {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(entries), QString()},
            {}, SLOT(shortcutsBound(uint, QVariantMap)));
}

void PortalShortcuts::shortcutsBound(uint response, const QVariantMap&) {
    if (response != 0) {
        platform::log("the desktop did not bind the global shortcuts (response " + std::to_string(response) + ")");
        setState(State::Declined);
        return;
    }
    platform::log("global shortcuts registered with the desktop");
    setState(State::Registered);
}

void PortalShortcuts::shortcutActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                        const QVariantMap&) {
    if (session.path() != session_) return;
    if (activated_) activated_(id);
}

}  // namespace glowmere::gui
