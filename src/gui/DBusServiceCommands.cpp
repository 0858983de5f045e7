// The bus methods that run the main controller's commands. Each waits for
// nothing on the Qt thread: the work is handed to the controller thread, and
// a method with an answer replies from there.
#include "controller/ManualController.h"
#include "gui/DBusService.h"
#include "gui/GlowmereApp.h"

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
    ManualController& manual = app_.manualController();
    replyFromController([&manual] {
        QStringList names;
        for (const std::string& name : manual.presetNames()) names << QString::fromStdString(name);
        return QVariant(names);
    });
    return {};
}

bool DBusService::ApplyPreset(const QString& name) {
    ManualController& manual = app_.manualController();
    replyFromController([&manual, name = name.toStdString()] { return QVariant(manual.implementPresetNamed(name)); });
    return false;
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
