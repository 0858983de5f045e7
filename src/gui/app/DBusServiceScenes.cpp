// The bus methods for the bridge's scenes. As with the other commands, the
// answer comes from the last scene list read and the recall is queued for the
// controller thread.
#include "controller/BridgeSceneMenus.h"
#include "gui/app/DBusService.h"
#include "gui/app/GlowmereApp.h"

namespace glowmere::gui {

QStringList DBusService::Scenes() {
    QStringList names;
    for (const auto& scene : app_.sceneMenus().scenes()) names << QString::fromStdString(scene.name);
    return names;
}

bool DBusService::ApplyScene(const QString& name) {
    const std::string wanted = name.toStdString();
    bool known = false;
    for (const auto& scene : app_.sceneMenus().scenes()) known = known || scene.name == wanted || scene.id == wanted;
    if (!known) return false;
    BridgeSceneMenus& menus = app_.sceneMenus();
    onController([&menus, wanted] { menus.applyScene(wanted); });
    return true;
}

}  // namespace glowmere::gui
