#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollArea>
#include <functional>
#include <memory>

#include "gui/app/GuiContext.h"
#include "gui/widgets/Throbber.h"
#include "gui/widgets/ViewWidgets.h"
#include "gui/windows/CommandBar.h"
#include "platform/Views.h"

namespace glowmere::gui {

// The Qt window that shows the strips: the command bar; a banner when the
// bridge does not answer; the strip surface with the logic's content view in
// a scroll area (strips that do not fit scroll sideways), with the throbber
// and the empty state laid over it; and a status line (Qt thread).
class MainWindowWidget : public QMainWindow {
public:
    // What the window says about the bridge (the controller's state, in
    // the same order).
    enum class BridgeState { LookingForBridge, NotReachable, NotPaired, NoLamps, Ready, NoBridgeFound };

    MainWindowWidget(GuiContext& context, std::shared_ptr<platform::View> content, QSize contentSize);

    // The strips' area changed size: the surface follows, and the window
    // grows or shrinks to show all of it where the screen has room.
    void setContentSize(QSize size);
    QSize contentSize() const { return contentSize_; }
    // The window size that shows every strip without scrolling.
    QSize preferredSize() const;
    // Lays the throbber and the empty state over the visible surface.
    void placeOverlays();
    // The banner, the greyed strips and the empty state follow the bridge.
    void showBridgeState(BridgeState state, const QString& address);
    BridgeState bridgeState() const { return state_; }
    // While looking for the bridge: what is being asked now, in a line
    // under "Looking for your bridge…".
    void showDiscoveryStep(const QString& step);
    // A message in the status line for a few seconds.
    void showStatusMessage(const QString& message, int milliseconds = 6000);
    // The preset or scene in effect ("Preset: NAME" at the right of the
    // status line); empty: none.
    void showPresetInEffect(const QString& name);
    QString presetInEffect() const;

    CommandBar* commandBar;
    QWidget* banner;
    QLabel* bannerText;
    QPushButton* retryButton;
    QPushButton* bridgeSettingsButton;
    QPushButton* bannerAddressButton;  // "Enter address…" beside Retry
    QScrollArea* scrollArea;
    QWidget* surface;
    ViewWidget* contentWidget;
    QWidget* shade;  // greys the strips while the bridge does not answer
    Throbber* throbber;
    QWidget* emptyState;
    QLabel* emptyText;
    QLabel* emptyDetail;  // what is being tried, or what to check
    QLabel* presetInEffectLabel;
    QPushButton* emptySearchButton;
    QPushButton* emptyPairButton;
    QPushButton* searchAgainButton;
    QPushButton* enterAddressButton;
    // The user closed the window (not a hide by the program).
    std::function<void()> closedByUser;
    std::function<void(bool)> visibilityChanged;

protected:
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* buildBanner(QWidget* parent);  // the bridge does not answer
    QWidget* buildStripArea(QWidget* parent, GuiContext& context, std::shared_ptr<platform::View> content);
    void buildEmptyState();
    void buildStatusLine();
    void fitSurface();
    // Resizes the window to what it shows, within the screen.
    void fitWindow();
    QSize contentSize_;
    BridgeState state_ = BridgeState::LookingForBridge;
    QString discoveryStep_;
};

}  // namespace glowmere::gui
