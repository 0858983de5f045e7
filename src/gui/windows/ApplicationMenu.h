#pragma once

#include <QMenu>
#include <functional>

class QAction;
class QMainWindow;

namespace glowmere::gui {

// The main window's application menu, before "Commands": Settings (Ctrl+,),
// Help (F1), About Glowmere and Quit (Ctrl+Q). A menu of its own, so other
// menus (View) can take their place beside it. Qt thread.
class ApplicationMenu : public QMenu {
    Q_OBJECT
public:
    struct Handlers {
        std::function<void()> help;
        std::function<void()> about;
        std::function<void()> quit;
    };
    // `settings` is the command bar's Settings action (shared, so both show
    // one state); the menu goes into `window`'s menu bar before `before`.
    ApplicationMenu(QMainWindow* window, QAction* settings, QAction* before, Handlers handlers);

    QAction* help() const { return help_; }
    QAction* about() const { return about_; }
    QAction* quit() const { return quit_; }

private:
    QAction* help_;
    QAction* about_;
    QAction* quit_;
};

}  // namespace glowmere::gui
