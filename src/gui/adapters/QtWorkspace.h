#pragma once

#include <QUrl>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Views.h"

namespace glowmere::gui {

class QtWorkspace final : public platform::Workspace {
public:
    // Hands a file to the desktop's opener; true when the opener started.
    using FileOpener = std::function<bool(const QUrl& file)>;

    bool openURL(const std::string& url) override;
    // Runs the opener on the Qt thread and answers whether it started (from
    // another thread it waits a few seconds for the answer, never for ever:
    // the Qt thread may be waiting for that thread at quit).
    bool openFile(const std::string& path) override;
    // What was asked to open, for tests (the desktop may have no handler).
    std::string lastOpened() const;
    // Tests: an opener of their own instead of the desktop's.
    void setFileOpener(FileOpener opener);

private:
    mutable std::mutex mutex_;
    std::string last_;
    FileOpener opener_;
};

}  // namespace glowmere::gui
