#pragma once

#include <QFrame>
#include <QPointer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "gui/app/GuiContext.h"
#include "platform/Ui.h"
#include "platform/Views.h"

class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace glowmere {
class ScheduleWindow;
}

namespace glowmere::gui {

// The action editor: a popover beside the schedule list with the item's
// name, kind, lamp, times, weekdays and colour. Its controls are the schedule
// window's; a click outside it, Escape or Done asks the logic whether it may
// close (a time field it shows must hold HH:MM), and the logic closes it.
// A time field that holds no time is marked at once.
class ActionEditor : public QFrame {
    Q_OBJECT
public:
    ActionEditor(ScheduleWindow& logic, GuiContext& context, QWidget* parent);

    // platform::Window for the logic: shown beside `anchor()` (a rectangle
    // on the screen, the selected row's), hidden when finished.
    platform::Window& window() { return window_; }
    void setAnchor(std::function<QRect()> anchor) { anchor_ = std::move(anchor); }

    QLineEdit* onTimeField() const { return onTime_; }
    QLineEdit* offTimeField() const { return offTime_; }
    QLineEdit* nameField() const { return name_; }
    QPushButton* doneButton() const { return done_; }
    QLabel* messageLabel() const { return message_; }
    // Whether the field's text is marked as no time.
    static bool isMarkedInvalid(const QLineEdit* field);

    void showBesideAnchor();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Adapter final : public platform::Window {
    public:
        explicit Adapter(ActionEditor* editor) : editor_(editor) {}
        void center() override {}
        void makeKeyAndOrderFront() override;
        void orderOut() override;
        bool isVisible() const override { return visible_; }

    private:
        QPointer<ActionEditor> editor_;
        std::atomic<bool> visible_{false};
    };

    QWidget* widgetFor(platform::Control& control, const char* hint);
    QLabel* labelFor(platform::TextField& text);
    // The constructor's steps. A shown row's label and field go with
    // `shownBy` (the field, or the control in it), which the logic shows and
    // hides.
    void addShownRow(QWidget* label, QWidget* field, QWidget* shownBy = nullptr);
    void addNameRows();
    QWidget* timeRow(QLineEdit* field, platform::TextField& help);
    void addTimeRows();
    void addColourRows();
    void addMessageAndDone(QVBoxLayout* outer);
    void relayout();
    void askToClose();

    ScheduleWindow& logic_;
    GuiContext& context_;
    Adapter window_{this};
    std::function<QRect()> anchor_;
    std::vector<std::shared_ptr<platform::View>> views_;
    QLineEdit* name_ = nullptr;
    QLineEdit* onTime_ = nullptr;
    QLineEdit* offTime_ = nullptr;
    QPushButton* done_ = nullptr;
    QLabel* message_ = nullptr;
    QFormLayout* form_ = nullptr;
    bool relayoutPending_ = false;
    // Row by the widget whose showing and hiding shows and hides it.
    std::map<const QObject*, QWidget*> rowOf_;
};

}  // namespace glowmere::gui
