#include "gui/windows/CommandBar.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace glowmere::gui {

namespace {

// Icons from the desktop's theme where it has them; text alone otherwise.
const char* themeIcon(CommandBar::Command command) {
    using C = CommandBar::Command;
    switch (command) {
        case C::Presets:
            return "view-list";
        case C::MakeGroup:
            return "list-add";
        case C::RemoveGroup:
            return "list-remove";
        case C::SearchForNewBulbs:
            return "system-search";
        case C::Listen:
            return "audio-input-microphone";
        case C::Schedules:
            return "x-office-calendar";
        case C::Explorer:
            return "document-properties";
        case C::Settings:
            return "preferences-system";
    }
    return "";
}

}  // namespace

QString CommandBar::label(Command command) {
    switch (command) {
        case Command::Presets:
            return tr("Presets");
        case Command::MakeGroup:
            return tr("Make group");
        case Command::RemoveGroup:
            return tr("Remove group");
        case Command::SearchForNewBulbs:
            return tr("Search for new bulbs");
        case Command::Listen:
            return tr("Listen");
        case Command::Schedules:
            return tr("Schedules");
        case Command::Explorer:
            return tr("Explorer");
        case Command::Settings:
            return tr("Settings");
    }
    return {};
}

CommandBar::CommandBar(QMainWindow* window) : QObject(window) {
    toolBar_ = new QToolBar(tr("Commands"), window);
    toolBar_->setObjectName("commandBar");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    window->addToolBar(Qt::TopToolBarArea, toolBar_);
    menu_ = window->menuBar()->addMenu(tr("&Commands"));
    menu_->setObjectName("commandMenu");

    for (Command command : all) {
        auto* action = new QAction(QIcon::fromTheme(themeIcon(command)), label(command), this);
        action->setObjectName(label(command));
        action->setEnabled(false);
        actions_[static_cast<std::size_t>(command)] = action;
        toolBar_->addAction(action);
        menu_->addAction(action);
        if (QWidget* button = toolBar_->widgetForAction(action)) {
            button->setAccessibleName(label(command));
            button->setFocusPolicy(Qt::StrongFocus);
        }
        // The ones that group or search sit apart from the windows.
        if (command == Command::SearchForNewBulbs || command == Command::Listen) {
            toolBar_->addSeparator();
            menu_->addSeparator();
        }
    }
    actions_[static_cast<std::size_t>(Command::Settings)]->setMenuRole(QAction::PreferencesRole);
}

void CommandBar::connect(Command command, std::function<void()> handler) {
    QAction* a = action(command);
    a->setEnabled(true);
    QObject::connect(a, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
}

void CommandBar::setMenu(Command command, QMenu* menu) {
    QAction* a = action(command);
    a->setMenu(menu);
    a->setEnabled(true);
    if (auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(a)))
        button->setPopupMode(QToolButton::InstantPopup);
}

}  // namespace glowmere::gui
