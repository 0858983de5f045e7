#pragma once

#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "gui/app/GuiContext.h"
#include "platform/Views.h"

namespace glowmere::gui {

// The tray icon with the status menu. Where the desktop has no tray the same
// menu, without Settings, Help and Quit (the window's application menu has
// them), goes into the main window's menu bar.
class QtStatusItem final : public platform::StatusItem {
public:
    struct Extras {
        std::function<void()> showSettings;
        std::function<void()> showHelp;
        std::function<void()> quit;
        // Left click on the tray icon.
        std::function<void()> toggleMainWindow;
        // The "Lamps" submenu's items (a check item per lamp and group).
        platform::Menu* lampsMenu = nullptr;
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
    // The tray icon (Qt thread; none without a tray).
    QSystemTrayIcon* trayIcon() const { return tray_.data(); }
    // Says in the tooltip and the icon that the bridge does not answer
    // (`problem` empty: all well). Qt thread.
    void showProblem(const QString& problem);
    QString toolTip() const { return toolTip_; }
    // A line of news under the title (`note` empty: none), such as what the
    // lamps did when the session locked. Qt thread.
    void showNote(const QString& note);
    // The tooltip as the tray shows it: title, problem, note.
    QString trayToolTip() const;

private:
    void rebuild();
    void refreshIcon();
    GuiContext& context_;
    Extras extras_;
    platform::Menu* menu_ = nullptr;  // the logic's, read on the Qt thread
    std::atomic<bool> inTray_{false};
    QPointer<QMainWindow> fallbackWindow_;
    QPointer<QMenu> qmenu_;
    QPointer<QSystemTrayIcon> tray_;
    QString toolTip_ = QObject::tr("Glowmere");
    QString problem_;
    QString note_;
    bool templateImage_ = true;
    std::string imageName_ = "lightbulb_trans_Template";
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace glowmere::gui
