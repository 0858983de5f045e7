#pragma once

#include <QLabel>
#include <QTabWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/adapters/QtTabView.h"
#include "gui/adapters/QtWindow.h"
#include "gui/app/GuiContext.h"
#include "platform/Controls.h"
#include "platform/HttpClient.h"

class QCheckBox;
class QFormLayout;

namespace glowmere {
class BridgeBridge;
class ControllerSettings;
}  // namespace glowmere

namespace glowmere::platform {
class Autostart;
}

namespace glowmere::gui {

// Checks a manual bridge address: a host name or IPv4 address, optionally
// with ":port" (1..65535). Answers the address trimmed, or nothing.
std::optional<std::string> normalizedBridgeAddress(const std::string& text);

// The settings window: the main controller's settings (transition times,
// folding, the All strip, the sound trigger), start at login (when given an
// autostart entry to keep) and the bridge tab, where the user gives the
// bridge's address by hand and finds or pairs with it.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    SettingsWindow(GuiContext& context, ControllerSettings& settings, BridgeBridge& bridge, platform::HttpClient& http,
                   platform::Autostart* autostart = nullptr);

    // Adds a section (a tab) of its own; other parts of the application
    // build theirs in their own files and add them here (Qt thread). The
    // widget's object name is the tab's identifier for tabView().
    void addSection(QWidget* section, const QString& title);
    // Brings the bridge section to the front (Qt thread).
    void showBridgeTab();
    // Runs on the controller thread once the bridge's address changed (a new
    // one was checked and taken, found, or paired with again).
    void setBridgeChangedHandler(std::function<void()> handler) { bridgeChanged_ = std::move(handler); }
    // A number entered in a spin box with its unit, kept in `field` as text
    // (what the defaults hold). Made for this window (Qt thread).
    QWidget* spinBoxFor(platform::TextField& field, double minimum, double maximum, double step, int decimals,
                        const QString& unit);

    platform::Window& window() { return window_; }
    platform::TabView& tabView() { return tabView_; }
    QTabWidget* tabs() const { return tabs_; }

    // The bridge tab's controls (values live here, on the logic's side).
    platform::TextField& manualAddress() { return *manualAddress_; }
    platform::Button& alwaysUseManual() { return *alwaysUseManual_; }
    platform::Button& findBridge() { return *findBridge_; }
    platform::Button& pairAgain() { return *pairAgain_; }
    platform::TextField& bridgeStatus() { return *bridgeStatus_; }
    platform::TextField& connection() { return *connection_; }
    platform::Button& trustCertificate() { return *trustCertificate_; }
    // The bridges Find bridge found when there was more than one: choosing
    // one takes it (hidden otherwise).
    platform::PopUpButton& foundBridges() { return *foundBridges_; }

    // Shows the stored address and choice again (controller thread).
    void showStoredBridgeSettings();
    // Whether the connection is encrypted, and the way to trust a bridge's
    // new certificate when it showed one (controller thread).
    void showConnection();
    // The sound tab's level indicators, shown under the sensitivity slider.
    void setSoundIndicators(QWidget* indicators);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The start-at-login switch writes or removes the autostart entry on
    // this (Qt) thread; the entry is the only record of the choice.
    void setStartAtLogin(bool on);
    QWidget* buildGeneralTab();
    QWidget* buildSoundTab();
    QWidget* buildBridgeTab();
    // The bridge tab's commands run on the controller thread, where the
    // bridge client's discovery and login block for as long as they take.
    void connectBridgeCommands();
    QWidget* widgetFor(const std::shared_ptr<platform::Control>& control, const char* hint);
    // Stores the address and the choice when the address is sound; false
    // (with the reason shown) when not.
    bool storeBridgeSettings();
    // Whether a bridge answers at `address` (a short GET of its config).
    bool answersAt(const std::string& address);
    // Uses the bridge at `address` from now on and stores it.
    void takeBridge(const std::string& address);

    GuiContext& context_;
    ControllerSettings& settings_;
    BridgeBridge& bridge_;
    platform::HttpClient& http_;
    std::function<void()> bridgeChanged_;
    platform::Autostart* autostart_;
    QCheckBox* startAtLogin_ = nullptr;
    QLabel* startAtLoginError_ = nullptr;
    QTabWidget* tabs_;
    QFormLayout* soundForm_ = nullptr;
    QLabel* sensitivityValue_ = nullptr;
    QtWindow window_{this};
    QtTabView tabView_;
    std::shared_ptr<platform::TextField> manualAddress_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::Button> alwaysUseManual_ =
        std::make_shared<platform::Button>("Always use this address (don't search)");
    std::shared_ptr<platform::Button> findBridge_ = std::make_shared<platform::Button>("Find bridge");
    std::shared_ptr<platform::Button> pairAgain_ = std::make_shared<platform::Button>("Pair again");
    std::shared_ptr<platform::TextField> bridgeStatus_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::PopUpButton> foundBridges_ = std::make_shared<platform::PopUpButton>();
    std::shared_ptr<platform::TextField> connection_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::Button> trustCertificate_ =
        std::make_shared<platform::Button>("Trust the new certificate");
    std::vector<std::shared_ptr<platform::View>> views_;  // style carriers of the widgets above
};

}  // namespace glowmere::gui
