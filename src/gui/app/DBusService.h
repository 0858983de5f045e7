#pragma once

#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <optional>

#include "platform/BackgroundThread.h"

namespace glowmere::gui {

class GlowmereApp;

// Glowmere on the session bus: the object /org/glowmere/Glowmere with the
// interface org.glowmere.Glowmere, under the name org.glowmere.Glowmere, and
// the single-instance guard. Every instance also owns a name of its own
// profile ("org.glowmere.Glowmere.Profile_HASH"), so a second launch with the
// same profile finds the first and asks it to show its window, while a launch
// with another profile runs beside it.
//
// Lives on the Qt thread; the bus calls its methods there. A method that
// needs the controller queues its work with onController(); one with an
// answer gives it at once from the controller's last known state (never
// from the controller thread, which a slow bridge may hold up for a while). To add a method: declare a `Q_SCRIPTABLE`
// public slot (its name is the bus method's name) and implement it in its own source file or here.
class DBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.glowmere.Glowmere")
    // Whether the application listens for sounds now (read-only; its
    // changes are told with org.freedesktop.DBus.Properties.PropertiesChanged).
    Q_PROPERTY(bool Listening READ listening)
public:
    static constexpr const char* serviceName = "org.glowmere.Glowmere";
    static constexpr const char* objectPath = "/org/glowmere/Glowmere";
    static constexpr const char* interfaceName = "org.glowmere.Glowmere";

    enum class Claim {
        Owned,            // this instance answers on the bus
        AnotherInstance,  // an instance with the same profile already does
        NoBus,            // no session bus: run without one
    };

    DBusService(GlowmereApp& app, const std::filesystem::path& profile);
    ~DBusService() override;

    // Puts the object on the bus and takes the names. Without a session bus
    // (or when the bus refuses) the application simply runs without it.
    Claim claim();
    bool owned() const { return owned_; }

    // The bus name that belongs to `profile` (the default profile when empty).
    static QString profileServiceName(const std::filesystem::path& profile);
    // Asks the instance that runs with `profile` to show its window.
    // Nothing when no instance (or no bus) is there; otherwise whether it answered.
    static std::optional<bool> showRunningInstance(const std::filesystem::path& profile, int timeoutMs = 1500);

public slots:
    // Opens the main window and brings it to the front.
    Q_SCRIPTABLE void Show();
    // The commands of the status menu and the listen menu items, run by the
    // same controller code (DBusServiceCommands.cpp).
    Q_SCRIPTABLE void AllOn();
    Q_SCRIPTABLE void AllOff();
    // The presets' names in menu order.
    Q_SCRIPTABLE QStringList Presets();
    // Applies the first preset called `name`; false when there is none.
    Q_SCRIPTABLE bool ApplyPreset(const QString& name);
    // Listening on or off at once, without the countdown.
    Q_SCRIPTABLE void StartListening();
    Q_SCRIPTABLE void StopListening();
    // The desktop shortcuts' commands (DBusServiceCommands.cpp): all lamps
    // off when any is on, else on; the preset after or before the one
    // applied last; every lamp that is on a tenth brighter or dimmer.
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void PresetNext();
    Q_SCRIPTABLE void PresetPrevious();
    Q_SCRIPTABLE void Brighter();
    Q_SCRIPTABLE void Dimmer();
    // Flashes a lamp or group (identifier or name) or "all" with the
    // bridge's alert. Answers once the flash is over: false when there is
    // no such lamp or group or the bridge did not take it.
    Q_SCRIPTABLE bool Alert(const QString& target);
    // The bridge's scenes' names, as last read (DBusServiceScenes.cpp).
    Q_SCRIPTABLE QStringList Scenes();
    // Recalls the scene with this name or identifier; false when the bridge
    // has none (as last read).
    Q_SCRIPTABLE bool ApplyScene(const QString& name);

public:
    bool listening() const;

signals:
    // Emitted while a sound is heard; `object` is "Glowmere".
    Q_SCRIPTABLE void GlowmereSoundDetected(const QString& object);

protected:
    // Runs `work` on the controller thread without waiting.
    void onController(std::function<void()> work);

    GlowmereApp& app_;

private:
    // PropertiesChanged for Listening, when it differs from what was told.
    void tellListening(bool on);

    std::filesystem::path profile_;
    bool owned_ = false;
    bool listeningTold_ = false;
    // Flashes under way, each on a thread of its own (Qt thread only).
    struct Flash {
        std::shared_ptr<std::atomic<bool>> done;
        platform::BackgroundThread thread;
    };
    std::list<Flash> flashes_;
};

}  // namespace glowmere::gui
