#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <vector>

namespace glowmere::gui {

// Registers the application's shortcuts with the desktop portal's global
// shortcuts service on the session bus: one session (CreateSession), then
// the shortcuts bound to it without preferred keys (BindShortcuts), so the
// desktop's own dialog lets the user choose them. Each call answers with a
// request object whose Response signal carries the outcome. Activated
// signals of the session then run `activated` with the shortcut's
// identifier.
//
// Where the bus has no portal, or the portal no such service, the state
// says Missing and nothing else happens. Lives on the Qt thread.
class PortalShortcuts : public QObject {
    Q_OBJECT
public:
    static constexpr const char* portalService = "org.freedesktop.portal.Desktop";
    static constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* shortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
    static constexpr const char* requestInterface = "org.freedesktop.portal.Request";

    struct Shortcut {
        QString id;
        QString description;
    };
    enum class State { NotStarted, Registering, Registered, Declined, Missing };

    PortalShortcuts(QDBusConnection bus, std::vector<Shortcut> shortcuts, std::function<void(const QString&)> activated,
                    QObject* parent = nullptr);

    // Creates the session and binds the shortcuts.
    void start();
    State state() const { return state_; }
    // A sentence for the settings window about where the shortcuts stand.
    QString stateText() const;

signals:
    void stateChanged();

private slots:
    void sessionCreated(uint response, const QVariantMap& results);
    void shortcutsBound(uint response, const QVariantMap& results);
    void shortcutActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                           const QVariantMap& options);

private:
    // Calls `method` with a fresh handle token; `slot` gets the Response of
    // its request object. False when the call itself failed.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options, const char* slot);
    QString requestPath(const QString& token) const;
    void setState(State state);

    QDBusConnection bus_;
    std::vector<Shortcut> shortcuts_;
    std::function<void(const QString&)> activated_;
    State state_ = State::NotStarted;
    QString session_;
    int tokens_ = 0;
};

}  // namespace glowmere::gui
