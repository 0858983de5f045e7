#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "gui/adapters/QtProgressIndicator.h"
#include "gui/adapters/QtWindow.h"
#include "gui/app/GuiContext.h"
#include "gui/windows/ScheduleTableModel.h"
#include "schedules/ScheduleWindow.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;

namespace glowmere::gui {

class ActionEditor;
class Throbber;

// The schedule window: the list of schedule items with its commands (new,
// edit, delete, check, delete all), the status line with the import of
// other apps' schedules, and a progress line while the bridge is being asked. Every command is posted to the
// controller thread; the window never waits for the bridge.
class SchedulesWindow : public QWidget {
    Q_OBJECT
public:
    SchedulesWindow(ScheduleWindow& logic, GuiContext& context);
    ~SchedulesWindow() override;

    platform::Window& window() { return window_; }
    platform::ProgressIndicator& progress() { return indicator_; }
    ActionEditor& editor() { return *editor_; }
    QTableView* table() const { return table_; }
    ScheduleTableModel& model() { return *model_; }
    QPushButton* button(const QString& label) const;
    // The status, report and activity lines as shown.
    QString statusText() const;
    QString reportText() const;
    QString activityText() const;
    bool activityShown() const;

    // Shows the window, as the Schedules command does.
    void showWindow();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const void* selectedKey() const;
    void post(std::function<void(ScheduleWindow&)> command);
    void refreshRows();
    // The constructor's steps: the command buttons (in `bar`, Import in
    // `statusRow`), the table, the status and activity lines (their row
    // returned), and the logic's controls mirrored.
    QPushButton* addButton(const QString& label, std::function<void(ScheduleWindow&, const void*)> command,
                           QHBoxLayout* into);
    void makeCommandButtons(QHBoxLayout* bar, QHBoxLayout* statusRow);
    void setUpTable();
    QHBoxLayout* makeStatusLines();
    void mirrorLogic();

    ScheduleWindow& logic_;
    GuiContext& context_;
    QtWindow window_{this};
    ScheduleTableModel* model_;
    QTableView* table_;
    ActionEditor* editor_;
    QLabel* status_;
    QLabel* report_;
    QLabel* activity_;
    Throbber* throbber_;
    QtProgressIndicator indicator_;
    std::vector<QPushButton*> buttons_;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* import_ = nullptr;
    std::vector<std::shared_ptr<platform::View>> views_;
};

}  // namespace glowmere::gui
