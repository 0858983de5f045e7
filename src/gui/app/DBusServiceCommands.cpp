// The bus methods that run the main controller's commands. None waits: the
// work is queued for the controller thread, and a method with an answer
// gives it from the controller's last known state, so a slow bridge holding
// the controller thread up never holds up a caller on the bus.
#include <algorithm>

#include "controller/ManualController.h"
#include "gui/app/DBusService.h"
#include "gui/app/GlowmereApp.h"

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

}  // namespace glowmere::gui
