#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTabWidget>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "gui/GuiContext.h"
#include "gui/GuiPart.h"
#include "platform/Ui.h"
#include "platform/Views.h"

class QMenu;
class QMenuBar;
class QSystemTrayIcon;
class QTimer;

namespace glowmere::gui {

class ViewWidget;

// ---- small widgets ----

// A spinning busy indicator, drawn only while it turns.
class Throbber : public QWidget {
    Q_OBJECT
public:
    explicit Throbber(QWidget* parent = nullptr);
    void setSpinning(bool spinning);
    bool isSpinning() const;
    QSize sizeHint() const override { return {28, 28}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer_;
    int step_ = 0;
};

// platform::ProgressIndicator over a Throbber made elsewhere (Qt thread).
class QtProgressIndicator final : public platform::ProgressIndicator {
public:
    explicit QtProgressIndicator(Throbber* throbber) : throbber_(throbber) {}
    void startAnimation() override;
    void stopAnimation() override;
    bool animating() const { return animating_; }

private:
    QPointer<Throbber> throbber_;
    std::atomic<bool> animating_{false};
};

// platform::Window over any top-level widget.
class QtWindow : public platform::Window {
public:
    explicit QtWindow(QWidget* widget) : widget_(widget) {}
    void center() override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool isVisible() const override { return visible_; }
    QWidget* widget() const { return widget_.data(); }

private:
    QPointer<QWidget> widget_;
    std::atomic<bool> visible_{false};
};

// Modal alerts for the logic: shown on the Qt thread while the calling
// thread waits; the windows stay live.
class QtAlerts final : public platform::Alerts {
public:
    platform::AlertResponse runModal(const platform::AlertSpec& alert) override;
    void beep() override;
    // Every alert still open (or yet to open) answers its default button:
    // the application is ending.
    void shutDown();
    int shownCount() const { return shown_; }

private:
    std::atomic<bool> shuttingDown_{false};
    std::atomic<int> shown_{0};
};

class QtTabView final : public platform::TabView {
public:
    explicit QtTabView(QTabWidget* tabs) : tabs_(tabs) {}
    // Tabs are found by their object name.
    void selectTabViewItemWithIdentifier(const std::string& identifier) override;

private:
    QPointer<QTabWidget> tabs_;
};

// ---- the main window ----

class MainWindowWidget;

// The window of control strips. Made on the Qt thread; its platform side is
// called from the controller thread.
class QtMainWindow final : public platform::MainWindow {
public:
    static constexpr double contentHeight = 478;

    QtMainWindow(GuiContext& context);
    ~QtMainWindow() override;

    // platform::Window
    void center() override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool isVisible() const override { return visible_; }
    // platform::MainWindow
    platform::View& contentView() override { return *content_; }
    platform::Rect frame() const override;
    void setFrame(platform::Rect frame, bool display) override;
    platform::ProgressIndicator& mainWindowThrobber() override { return *throbber_; }
    bool isWindowLoaded() const override { return loaded_; }

    QMainWindow* widget() const;
    ViewWidget* contentWidget() const;
    bool throbberSpinning() const { return throbber_->animating(); }

private:
    GuiContext& context_;
    std::shared_ptr<platform::View> content_;
    QPointer<MainWindowWidget> window_;
    std::unique_ptr<QtProgressIndicator> throbber_;
    mutable std::mutex mutex_;
    platform::Rect frame_;
    std::atomic<bool> visible_{false};
    std::atomic<bool> loaded_{false};
};

// ---- popovers and plain windows ----

class PopoverFrame;

class QtPopover final : public platform::Popover {
public:
    explicit QtPopover(GuiContext& context);
    ~QtPopover() override;

    void setContentView(std::shared_ptr<platform::View> view) override;
    platform::View* contentView() const override;
    void setContentSize(platform::Size size) override;
    void setBehavior(Behavior behavior) override;
    void setAnimates(bool) override {}
    void setDelegate(platform::PopoverDelegate* delegate) override;
    void showRelativeToRectOfViewPreferredEdge(platform::Rect rect, platform::View* view,
                                               platform::RectEdge edge) override;
    void performClose() override;
    void close() override;
    bool isShown() const override;

private:
    struct State {
        std::mutex mutex;
        std::shared_ptr<platform::View> content;
        platform::Size size{100, 60};
        Behavior behavior = Behavior::ApplicationDefined;
        platform::PopoverDelegate* delegate = nullptr;
        bool shown = false;
    };
    // The user dismissed a transient popover (a click outside it).
    static void dismissedByUser(GuiContext& context, std::weak_ptr<State> state, QtPopover* popover);

    GuiContext& context_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
    GuiPart<PopoverFrame> frame_;
};

class QtPlainWindow final : public platform::PlainWindow {
public:
    explicit QtPlainWindow(GuiContext& context);
    ~QtPlainWindow() override;

    void center() override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool isVisible() const override { return visible_; }
    void setContentView(std::shared_ptr<platform::View> view) override;
    platform::View* contentView() const override;
    void setContentSize(platform::Size size) override;
    platform::Size contentSize() const override;
    void setFrameOrigin(platform::Point origin) override;
    void setAnimationBehavior(int) override {}
    void setShowsResizeIndicator(bool) override {}
    void setResizable(bool resizable) override;
    std::optional<platform::Point> convertBaseToScreen(const platform::View* view,
                                                       platform::Point point) const override;
    void setResignKeyHandler(std::function<void()> handler) override;

private:
    class Frame;
    GuiContext& context_;
    mutable std::mutex mutex_;
    std::shared_ptr<platform::View> content_;
    platform::Size size_{100, 60};
    std::shared_ptr<std::function<void()>> resignKey_ = std::make_shared<std::function<void()>>();
    std::atomic<bool> visible_{false};
    GuiPart<QWidget> frame_;
};

// ---- templates ----

class QtViewTemplates final : public platform::ViewTemplates {
public:
    explicit QtViewTemplates(GuiContext& context) : context_(context) {}
    std::shared_ptr<platform::View> loadView(const std::string& name) override;
    std::unique_ptr<platform::Popover> makePopover() override;
    std::unique_ptr<platform::PlainWindow> makePlainWindow() override;

    // Sizes of the strip view, unfolded.
    static constexpr double stripWidth = 95;
    static constexpr double stripHeight = 438;

private:
    GuiContext& context_;
};

// ---- status item, workspace, application ----

// The tray icon with the status menu. Where the desktop has no tray the same
// menu goes into the main window's menu bar (and the window opens at start).
class QtStatusItem final : public platform::StatusItem {
public:
    struct Extras {
        std::function<void()> showSettings;
        std::function<void()> showHelp;
        std::function<void()> quit;
    };

    QtStatusItem(GuiContext& context, QMainWindow* fallbackWindow, Extras extras);
    ~QtStatusItem() override;

    void setMenu(platform::Menu* menu) override;
    void setTitle(const std::string& title) override;
    void setImage(const std::string& name, platform::Size size, bool isTemplate) override;
    void setAlternateImage(const std::string&, platform::Size, bool) override {}
    void setHighlightMode(bool) override {}

    // True when a tray shows the item (known once the Qt side exists).
    bool inTray() const { return inTray_; }
    // The menu as shown (Qt thread): tray menu or the window's menu.
    QMenu* shownMenu() const;

private:
    void rebuild();
    GuiContext& context_;
    Extras extras_;
    platform::Menu* menu_ = nullptr;  // the logic's, read on the Qt thread
    std::atomic<bool> inTray_{false};
    QPointer<QMainWindow> fallbackWindow_;
    QPointer<QMenu> qmenu_;
    QPointer<QSystemTrayIcon> tray_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

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

class QtApplication final : public platform::Application {
public:
    QtApplication(std::function<QWidget*()> mainWindow, std::function<platform::StatusItem*()> makeStatusItem)
        : mainWindow_(std::move(mainWindow)), makeStatusItem_(std::move(makeStatusItem)) {}
    void activateIgnoringOtherApps(bool flag) override;
    platform::StatusItem* statusItemWithVariableLength() override;
    void postToGui(std::function<void()> work) override { gui::postToGui(std::move(work)); }

private:
    std::function<QWidget*()> mainWindow_;
    std::function<platform::StatusItem*()> makeStatusItem_;
};

}  // namespace glowmere::gui
