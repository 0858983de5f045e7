#include "gui/windows/ApplicationMenu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>

namespace glowmere::gui {

ApplicationMenu::ApplicationMenu(QMainWindow* window, QAction* settings, QAction* before, Handlers handlers)
    : QMenu(tr("&Glowmere"), window) {
    setObjectName("applicationMenu");
    auto named = [](QAction* action) {
        action->setObjectName(action->text().remove('&'));
        // Shortcuts work while the window is active, whether or not the
        // menu is open.
        action->setShortcutContext(Qt::WindowShortcut);
        return action;
    };
    settings->setShortcut(QKeySequence(tr("Ctrl+,")));
    settings->setShortcutContext(Qt::WindowShortcut);
    addAction(settings);
    addSeparator();
    help_ = named(addAction(QIcon::fromTheme("help-contents"), tr("Help")));
    help_->setShortcut(QKeySequence(Qt::Key_F1));
    about_ = named(addAction(QIcon::fromTheme("help-about"), tr("About Glowmere")));
    about_->setMenuRole(QAction::AboutRole);
    addSeparator();
    quit_ = named(addAction(QIcon::fromTheme("application-exit"), tr("Quit")));
    quit_->setShortcut(QKeySequence(tr("Ctrl+Q")));
    quit_->setMenuRole(QAction::QuitRole);
    connect(help_, &QAction::triggered, this, [h = handlers.help] { h(); });
    connect(about_, &QAction::triggered, this, [h = handlers.about] { h(); });
    connect(quit_, &QAction::triggered, this, [h = handlers.quit] { h(); });
    window->menuBar()->insertMenu(before, this);
}

}  // namespace glowmere::gui
