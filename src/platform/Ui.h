#pragma once

#include <string>

namespace glowmere::platform {

// The few window services the logic reaches. The desktop application
// implements them on Qt (marshalling to its own thread); tests use fakes.
// Every method may be called from any thread.

// A modal alert. The calling thread waits for the answer; the windows stay
// live (the desktop application shows the alert on its own thread).
struct AlertSpec {
    std::string message;
    std::string defaultButton = "OK";
    std::string alternateButton;  // empty: none
    std::string otherButton;       // empty: none
    std::string informativeText;
};

enum class AlertResponse { Default, Alternate, Other };

class Alerts {
public:
    virtual ~Alerts() = default;
    virtual AlertResponse runModal(const AlertSpec& alert) = 0;
    virtual void beep() = 0;
};

class Window {
public:
    virtual ~Window() = default;
    virtual void center() = 0;
    virtual void makeKeyAndOrderFront() = 0;
    virtual void orderOut() = 0;
    virtual bool isVisible() const = 0;
};

class ProgressIndicator {
public:
    virtual ~ProgressIndicator() = default;
    virtual void startAnimation() = 0;
    virtual void stopAnimation() = 0;
};

class TabView {
public:
    virtual ~TabView() = default;
    virtual void selectTabViewItemWithIdentifier(const std::string& identifier) = 0;
};

}  // namespace glowmere::platform
