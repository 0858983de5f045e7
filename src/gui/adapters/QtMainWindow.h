#pragma once

#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <memory>
#include <mutex>

#include "gui/adapters/QtProgressIndicator.h"
#include "gui/app/GuiContext.h"
#include "platform/Views.h"

namespace glowmere::gui {

class CommandBar;
class MainWindowWidget;
class ViewWidget;

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
    // The toolbar and "Commands" menu (Qt thread).
    CommandBar& commandBar() const;
    // The Qt window with its banner, empty state and status line (Qt thread).
    MainWindowWidget* windowWidget() const;
    bool throbberSpinning() const { return throbber_->animating(); }

private:
    std::shared_ptr<platform::View> content_;
    QPointer<MainWindowWidget> window_;
    std::unique_ptr<QtProgressIndicator> throbber_;
    mutable std::mutex mutex_;
    platform::Rect frame_;
    std::atomic<bool> visible_{false};
    std::atomic<bool> loaded_{false};
};

}  // namespace glowmere::gui
