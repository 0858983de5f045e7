#include "gui/QtWorkspace.h"

#include <QDesktopServices>
#include <QUrl>

#include "gui/GuiContext.h"
#include "gui/QtText.h"

namespace glowmere::gui {

bool QtWorkspace::openURL(const std::string& url) {
    {
        std::lock_guard g(mutex_);
        last_ = url;
    }
    postToGui([url] { QDesktopServices::openUrl(QUrl(qs(url))); });
    return true;
}

bool QtWorkspace::openFile(const std::string& path) {
    return openURL(QUrl::fromLocalFile(qs(path)).toString().toStdString());
}

std::string QtWorkspace::lastOpened() const {
    std::lock_guard g(mutex_);
    return last_;
}

}  // namespace glowmere::gui
