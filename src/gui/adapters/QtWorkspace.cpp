#include "gui/adapters/QtWorkspace.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QThread>
#include <chrono>
#include <future>
#include <memory>

#include "gui/adapters/QtText.h"
#include "gui/app/GuiContext.h"

namespace glowmere::gui {

bool QtWorkspace::openURL(const std::string& url) {
    {
        std::lock_guard g(mutex_);
        last_ = url;
    }
    postToGui([url] { QDesktopServices::openUrl(QUrl(qs(url))); });
    return true;
}

void QtWorkspace::setFileOpener(FileOpener opener) {
    std::lock_guard g(mutex_);
    opener_ = std::move(opener);
}

bool QtWorkspace::openFile(const std::string& path) {
    const QUrl url = QUrl::fromLocalFile(qs(path));
    FileOpener opener;
    {
        std::lock_guard g(mutex_);
        last_ = url.toString().toStdString();
        opener = opener_;
    }
    if (!opener) opener = [](const QUrl& file) { return QDesktopServices::openUrl(file); };
    auto* app = QCoreApplication::instance();
    if (!app) return false;
    if (QThread::currentThread() == app->thread()) return opener(url);
    auto answer = std::make_shared<std::promise<bool>>();
    auto opened = answer->get_future();
    postToGui([answer, opener, url] { answer->set_value(opener(url)); });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return false;
    try {
        return opened.get();
    } catch (const std::future_error&) {
        return false;  // the Qt loop ended before it ran the opener
    }
}

std::string QtWorkspace::lastOpened() const {
    std::lock_guard g(mutex_);
    return last_;
}

}  // namespace glowmere::gui
