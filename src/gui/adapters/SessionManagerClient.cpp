#include "gui/adapters/SessionManagerClient.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <atomic>
#include <memory>

#include "platform/Log.h"

namespace glowmere::gui {

namespace {
// The session manager answers at once; one that does not is no reason to
// hold the start up.
constexpr int callTimeoutMs = 2000;

void sendResponse(QDBusConnection bus, const QString& clientPath) {
    QDBusMessage answer = QDBusMessage::createMethodCall(SessionManagerClient::managerService, clientPath,
                                                         SessionManagerClient::clientInterface, "EndSessionResponse");
    answer << true << QString();
    bus.send(answer);
}
}  // namespace

SessionManagerClient::SessionManagerClient(QDBusConnection bus, const QString& appId, const QString& startupId,
                                           EndSession endSession, std::function<void()> stop, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), endSession_(std::move(endSession)), stop_(std::move(stop)) {
    if (!bus_.isConnected() || !bus_.interface()) return;
    const auto present = bus_.interface()->isServiceRegistered(managerService);
    if (!present.isValid() || !present.value()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(managerService, managerPath, managerInterface, "RegisterClient");
    call << appId << startupId;
    QDBusReply<QDBusObjectPath> reply = bus_.call(call, QDBus::Block, callTimeoutMs);
    if (!reply.isValid()) {
        platform::log("the session manager did not register Glowmere: " + reply.error().message().toStdString() +
                      "; the lamps follow a log-out only where logind tells of it");
        return;
    }
    clientPath_ = reply.value().path();
    const QString service = managerService;
    bus_.connect(service, clientPath_, clientInterface, "QueryEndSession", this, SLOT(queryEndSession(uint)));
    bus_.connect(service, clientPath_, clientInterface, "EndSession", this, SLOT(endSession(uint)));
    bus_.connect(service, clientPath_, clientInterface, "CancelEndSession", this, SLOT(cancelEndSession()));
    bus_.connect(service, clientPath_, clientInterface, "Stop", this, SLOT(stop()));
    platform::log("registered with the session manager as " + clientPath_.toStdString());
}

SessionManagerClient::~SessionManagerClient() {
    if (!registered()) return;
    // A quit of the user's own: the session manager must not take it for a
    // crash.
    QDBusMessage call =
        QDBusMessage::createMethodCall(managerService, managerPath, managerInterface, "UnregisterClient");
    call << QVariant::fromValue(QDBusObjectPath(clientPath_));
    bus_.call(call, QDBus::Block, callTimeoutMs);
}

void SessionManagerClient::respond() {
    sendResponse(bus_, clientPath_);
}

void SessionManagerClient::queryEndSession(uint) {
    // Nothing to save and nothing to ask the user: the lamps are seen to
    // when the session really ends.
    respond();
}

void SessionManagerClient::endSession(uint) {
    platform::log("the session ends");
    if (!endSession_) {
        respond();
        return;
    }
    auto answered = std::make_shared<std::atomic<bool>>(false);
    endSession_([bus = bus_, path = clientPath_, answered] {
        if (!answered->exchange(true)) sendResponse(bus, path);
    });
}

void SessionManagerClient::cancelEndSession() {
    platform::log("the session manager called the log-out off");
}

void SessionManagerClient::stop() {
    platform::log("the session manager asks Glowmere to quit");
    if (stop_) stop_();
}

}  // namespace glowmere::gui
