// The bus methods that run the main controller's commands. None waits: the
// work is queued for the controller thread, and a method with an answer
// gives it from the controller's last known state, so a slow bridge holding
// the controller thread up never holds up a caller on the bus.
#include <QDBusConnection>
#include <algorithm>

#include "controller/LampFlash.h"
#include "controller/LampShortcuts.h"
#include "controller/ManualController.h"
#include "gui/app/DBusService.h"
#include "gui/app/GlowmereApp.h"
#include "gui/app/ListeningAndPresets.h"
#include "platform/Log.h"

namespace glowmere::gui {

void DBusService::AllOn() {
    ManualController& manual = app_.manualController();
    onController([&manual] { manual.allOn(); });
}

void DBusService::AllOff() {
    ManualController& manual = app_.manualController();
    onController([&manual] { manual.allOff(); });
}

QStringList DBusService::Presets() {
    QStringList names;
    for (const std::string& name : app_.manualController().lastKnownPresetNames())
        names << QString::fromStdString(name);
    return names;
}

bool DBusService::ApplyPreset(const QString& name) {
    const std::string wanted = name.toStdString();
    const auto known = app_.manualController().lastKnownPresetNames();
    if (std::find(known.begin(), known.end(), wanted) == known.end()) return false;
    ManualController& manual = app_.manualController();
    onController([&manual, wanted] { manual.implementPresetNamed(wanted); });
    return true;
}

void DBusService::StartListening() {
    ManualController& manual = app_.manualController();
    onController([&manual] { manual.startListeningNow(); });
}

void DBusService::StopListening() {
    ManualController& manual = app_.manualController();
    onController([&manual] { manual.stopListening(); });
}

namespace {

void runShortcut(GlowmereApp& app, const char* id) {
    LampShortcuts& shortcuts = app.lampShortcuts();
    app.onController([&shortcuts, id] { shortcuts.run(id); });
}

}  // namespace

void DBusService::Toggle() {
    runShortcut(app_, "toggle-all");
}

void DBusService::PresetNext() {
    runShortcut(app_, "preset-next");
}

void DBusService::PresetPrevious() {
    runShortcut(app_, "preset-previous");
}

void DBusService::Brighter() {
    runShortcut(app_, "brighter");
}

void DBusService::Dimmer() {
    runShortcut(app_, "dimmer");
}

bool DBusService::listening() const {
    return app_.listening().listenButton().state() == 1;
}

bool DBusService::Alert(const QString& target) {
    // The flash takes a second or more and reads the bridge: it runs on a
    // thread of its own, and the caller gets its answer when it is over.
    flashes_.remove_if([](const Flash& flash) { return flash.done->load(); });
    if (!calledFromDBus()) return false;
    setDelayedReply(true);
    auto done = std::make_shared<std::atomic<bool>>(false);
    BridgeBridge& bridge = app_.bridge();
    platform::Clock& clock = app_.clock();
    QDBusConnection bus = connection();
    flashes_.push_back(
        Flash{done, platform::BackgroundThread(clock, [&bridge, &clock, bus, done, call = message(),
                                                       wanted = target.toStdString()](std::stop_token stop) {
                  LampFlash flash(bridge, clock);
                  std::string why;
                  const auto outcome = flash.flash(wanted, std::nullopt, 1, &why, stop);
                  if (!why.empty()) platform::log("Alert: " + why);
                  QDBusConnection(bus).send(call.createReply(outcome == LampFlash::Outcome::Flashed));
                  done->store(true);
              })});
    return false;
}

}  // namespace glowmere::gui
