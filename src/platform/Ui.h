#pragma once

#include <functional>
#include <string>

namespace glowmere::platform {

// The few window services the logic reaches. The desktop application
// implements them on Qt (marshalling to its own thread); tests use fakes.
// Every method may be called from any thread.

// A modal alert: its texts and buttons.
// The icon beside an alert's text: a question that asks for a decision, a
// warning of something that cannot be undone, or plain information.
enum class AlertIcon { Question, Warning, Information };

struct AlertSpec {
    std::string message;
    std::string defaultButton = "OK";
    std::string alternateButton;  // empty: none
    std::string otherButton;      // empty: none
    std::string informativeText;
    AlertIcon icon = AlertIcon::Warning;
};

enum class AlertResponse { Default, Alternate, Other };

class Alerts {
public:
    virtual ~Alerts() = default;
    // Shows the alert and waits for the answer; the windows stay live (the
    // desktop application shows it on its own thread). Only for notices
    // whose every answer is harmless: a quit answers it with its default.
    virtual AlertResponse runModal(const AlertSpec& alert) = 0;
    // Asks a question without waiting: `answered` runs later with the
    // user's answer, on the controller thread, as a task of its own. An
    // alert dismissed because the application quits is never answered, so
    // nothing the question guards is carried out. The plain form answers at
    // once (fakes and tools without windows).
    virtual void ask(const AlertSpec& alert, std::function<void(AlertResponse)> answered) { answered(runModal(alert)); }
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
