#include "gui/app/DBusService.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>

#include "gui/adapters/QtMainWindow.h"
#include "gui/app/GlowmereApp.h"
#include "gui/app/GuiContext.h"
#include "gui/app/ListeningAndPresets.h"
#include "platform/DefaultsStore.h"
#include "platform/Log.h"

namespace glowmere::gui {

namespace {

std::filesystem::path profileDirectory(const std::filesystem::path& profile) {
    std::filesystem::path dir = profile.empty() ? platform::DefaultsStore::defaultDirectory() : profile;
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(dir), error);
    return error ? dir : canonical;
}

}  // namespace

DBusService::DBusService(GlowmereApp& app, const std::filesystem::path& profile) : app_(app), profile_(profile) {
    listeningTold_ = listening();
    connect(&app_.listening(), &ListeningAndPresets::listenButtonChanged, this, &DBusService::tellListening);
}

DBusService::~DBusService() {
    // A flash still under way puts its lamps back before its thread ends.
    for (auto& flash : flashes_) flash.thread.requestStop();
    flashes_.clear();
    if (!owned_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(objectPath);
    bus.unregisterService(profileServiceName(profile_));
    bus.unregisterService(serviceName);
}

QString DBusService::profileServiceName(const std::filesystem::path& profile) {
    const QByteArray path = QString::fromStdString(profileDirectory(profile).string()).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(16);
    return QString(serviceName) + ".Profile_" + QString::fromLatin1(hash);
}

DBusService::Claim DBusService::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        platform::log("no session bus; running without one");
        return Claim::NoBus;
    }
    // The object first, so a caller that sees the name can reach it at once.
    if (!bus.registerObject(objectPath, this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals |
                                QDBusConnection::ExportScriptableProperties)) {
        platform::log("could not put Glowmere on the session bus: " + bus.lastError().message().toStdString());
        return Claim::NoBus;
    }
    auto* names = bus.interface();
    const auto profileName =
        names->registerService(profileServiceName(profile_), QDBusConnectionInterface::DontQueueService,
                               QDBusConnectionInterface::DontAllowReplacement);
    if (!profileName.isValid()) {
        bus.unregisterObject(objectPath);
        platform::log("the session bus refused a name: " + profileName.error().message().toStdString());
        return Claim::NoBus;
    }
    if (profileName.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(objectPath);
        return Claim::AnotherInstance;
    }
    owned_ = true;
    // The well-known name goes to the first instance; one with another
    // profile runs beside it under its profile's name only.
    const auto wellKnown = names->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                                  QDBusConnectionInterface::DontAllowReplacement);
    if (!wellKnown.isValid() || wellKnown.value() != QDBusConnectionInterface::ServiceRegistered)
        platform::log(std::string("another Glowmere owns ") + serviceName + "; this one answers on " +
                      profileServiceName(profile_).toStdString());
    return Claim::Owned;
}

std::optional<bool> DBusService::showRunningInstance(const std::filesystem::path& profile, int timeoutMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return std::nullopt;
    const QString name = profileServiceName(profile);
    const auto registered = bus.interface()->isServiceRegistered(name);
    if (!registered.isValid() || !registered.value()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(name, objectPath, interfaceName, "Show");
    QDBusMessage answer = bus.call(call, QDBus::Block, timeoutMs);
    return answer.type() == QDBusMessage::ReplyMessage;
}

void DBusService::tellListening(bool on) {
    if (on == listeningTold_) return;
    listeningTold_ = on;
    if (!owned_) return;
    QDBusMessage changed =
        QDBusMessage::createSignal(objectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    changed << QString(interfaceName) << QVariantMap{{"Listening", on}} << QStringList();
    QDBusConnection::sessionBus().send(changed);
}

void DBusService::Show() {
    platform::log("showing the main window for another launch");
    QtMainWindow& window = app_.mainWindow();
    window.makeKeyAndOrderFront();
}

void DBusService::onController(std::function<void()> work) {
    app_.onController(std::move(work));
}

}  // namespace glowmere::gui
