#pragma once

#include "platform/Views.h"

namespace glowmere {

// The main window's controller.
class manualWindowController {
public:
    explicit manualWindowController(platform::MainWindow* window = nullptr) : window_(window) {}

    void setWindow(platform::MainWindow* window) { window_ = window; }
    platform::MainWindow* window() const { return window_; }
    bool isWindowLoaded() const { return window_ && window_->isWindowLoaded(); }

    // Called by the GUI once the window's contents exist.
    void windowDidLoad();

private:
    platform::MainWindow* window_ = nullptr;
};

}  // namespace glowmere
