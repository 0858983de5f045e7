#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QToolBar>
#include <array>
#include <functional>

class QAction;
class QMainWindow;

namespace glowmere::gui {

// The main window's commands, once as a toolbar and once as the "Commands"
// menu: both show the same QAction, so enabling, checking or renaming one
// shows in both. A command starts disabled until something connects it.
// Qt thread only.
class CommandBar : public QObject {
    Q_OBJECT
public:
    enum class Command { Presets, MakeGroup, RemoveGroup, SearchForNewBulbs, Listen, Schedules, Explorer, Settings };
    static constexpr std::size_t commandCount = 8;
    static constexpr std::array<Command, commandCount> all{
        Command::Presets, Command::MakeGroup, Command::RemoveGroup, Command::SearchForNewBulbs,
        Command::Listen,  Command::Schedules, Command::Explorer,    Command::Settings};

    // The label, which is also the button's accessible name.
    static QString label(Command command);

    // Adds the toolbar and the menu to `window`.
    explicit CommandBar(QMainWindow* window);

    QToolBar* toolBar() const { return toolBar_; }
    QMenu* menu() const { return menu_; }
    QAction* action(Command command) const { return actions_[static_cast<std::size_t>(command)]; }

    // Enables the command; `handler` runs (on the Qt thread) whenever the
    // user chooses it. A second call adds a second handler.
    void connect(Command command, std::function<void()> handler);
    // Gives the command a pull-down menu (the toolbar button opens it at
    // once; the "Commands" menu shows it as a submenu) and enables it.
    void setMenu(Command command, QMenu* menu);

private:
    QPointer<QToolBar> toolBar_;
    QPointer<QMenu> menu_;
    std::array<QAction*, commandCount> actions_{};
};

}  // namespace glowmere::gui
