#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace glowmere::gui {

class GuiContext;

// "Enter address…": the user types the bridge's address; Connect checks it
// on the controller thread (a bridge must answer there) and, when it does,
// the dialog closes and Glowmere uses that bridge, pairing through the link
// button when it has no user name for it yet. Qt thread.
class AddressDialog : public QDialog {
    Q_OBJECT
public:
    struct Outcome {
        bool taken = false;   // a bridge answered and is used from now on
        std::string message;  // what the check found, for the status line
    };
    // `check` runs on the controller thread with the text as typed.
    AddressDialog(GuiContext& context, std::function<Outcome(const std::string& text)> check,
                  QWidget* parent = nullptr);

    // Opens with an empty field and no message.
    void ask();

    QLineEdit* field() const { return field_; }
    QPushButton* connectButton() const { return connect_; }
    QLabel* status() const { return status_; }

private:
    void tryAddress();

    GuiContext& context_;
    std::function<Outcome(const std::string&)> check_;
    QLineEdit* field_;
    QPushButton* connect_;
    QLabel* status_;
    int generation_ = 0;  // a check answered after the dialog reopened is dropped
};

}  // namespace glowmere::gui
