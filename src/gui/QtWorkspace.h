#pragma once

#include <mutex>
#include <string>

#include "platform/Views.h"

namespace glowmere::gui {

class QtWorkspace final : public platform::Workspace {
public:
    bool openURL(const std::string& url) override;
    bool openFile(const std::string& path) override;
    // What was asked to open, for tests (the desktop may have no handler).
    std::string lastOpened() const;

private:
    mutable std::mutex mutex_;
    std::string last_;
};

}  // namespace glowmere::gui
