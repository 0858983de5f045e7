#include "gui/adapters/LogindSession.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QPointer>
#include <memory>

#include "gui/app/GuiContext.h"
#include "platform/Log.h"

namespace glowmere::gui {

namespace {
const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
// A call to logind answers at once; a system bus that does not is no reason
// to hold the window up.
constexpr int callTimeoutMs = 2000;
}  // namespace

LogindSession::LogindSession(QDBusConnection system, QDBusConnection session, QString sessionId, Handler event,
                             QObject* parent)
    : QObject(parent), system_(std::move(system)), session_(std::move(session)), event_(std::move(event)) {
    if (system_.isConnected()) {
        watching_ = system_.connect(logindService, logindPath, managerInterface, "PrepareForSleep", this,
                                    SLOT(prepareForSleep(bool)));
        system_.connect(logindService, logindPath, managerInterface, "PrepareForShutdown", this,
                        SLOT(prepareForShutdown(bool)));
        QDBusMessage ask = QDBusMessage::createMethodCall(logindService, logindPath, managerInterface, "GetSession");
        ask << sessionId;
        QDBusReply<QDBusObjectPath> path = system_.call(ask, QDBus::Block, callTimeoutMs);
        if (path.isValid()) {
            sessionPath_ = path.value().path();
            system_.connect(logindService, sessionPath_, "org.freedesktop.DBus.Properties", "PropertiesChanged", this,
                            SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
        } else {
            platform::log("logind knows no session " + sessionId.toStdString() +
                          "; the lock is taken from the "
                          "screen saver");
        }
        sleepLock_ = inhibit("sleep", tr("Glowmere switches the lamps as chosen before the computer sleeps"));
        shutdownLock_ = inhibit("shutdown", tr("Glowmere switches the lamps as chosen before shutting down"));
    }
    // Desktops whose lock logind does not hear of say it as the screen saver.
    if (session_.isConnected())
        session_.connect(QString(), QString(), "org.freedesktop.ScreenSaver", "ActiveChanged", this,
                         SLOT(screenSaverActiveChanged(bool)));
}

LogindSession::~LogindSession() = default;

QDBusUnixFileDescriptor LogindSession::inhibit(const QString& what, const QString& why) {
    if (!(system_.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) return {};
    QDBusMessage call = QDBusMessage::createMethodCall(logindService, logindPath, managerInterface, "Inhibit");
    call << what << QStringLiteral("Glowmere") << why << QStringLiteral("delay");
    QDBusReply<QDBusUnixFileDescriptor> reply = system_.call(call, QDBus::Block, callTimeoutMs);
    if (!reply.isValid()) {
        platform::log("logind refused a " + what.toStdString() + " delay: " + reply.error().message().toStdString());
        return {};
    }
    return reply.value();
}

void LogindSession::tell(Event event, QDBusUnixFileDescriptor* held) {
    // The inhibitor goes with the release, which may come from any thread:
    // dropping the last copy closes the descriptor.
    auto lock = std::make_shared<QDBusUnixFileDescriptor>();
    if (held) std::swap(*lock, *held);
    if (!event_) return;
    event_(event, [lock] { *lock = QDBusUnixFileDescriptor(); });
}

void LogindSession::prepareForSleep(bool sleeping) {
    if (sleeping) {
        tell(Event::BeforeSleep, &sleepLock_);
        return;
    }
    // Awake: held again for the next sleep, then the lamps are seen to.
    if (!sleepLock_.isValid())
        sleepLock_ = inhibit("sleep", tr("Glowmere switches the lamps as chosen before the computer sleeps"));
    tell(Event::AfterWake, nullptr);
}

void LogindSession::prepareForShutdown(bool stopping) {
    if (stopping) {
        tell(Event::Shutdown, &shutdownLock_);
    } else if (!shutdownLock_.isValid()) {
        // The shutdown was called off.
        shutdownLock_ = inhibit("shutdown", tr("Glowmere switches the lamps as chosen before shutting down"));
    }
}

void LogindSession::sessionPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
    if (interface != sessionInterface || !changed.contains("LockedHint")) return;
    logindTellsLock_ = true;
    tell(changed.value("LockedHint").toBool() ? Event::Lock : Event::Unlock, nullptr);
}

void LogindSession::screenSaverActiveChanged(bool active) {
    if (logindTellsLock_) return;
    tell(active ? Event::Lock : Event::Unlock, nullptr);
}

}  // namespace glowmere::gui
