#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

namespace glowmere::gui {

class PortalShortcuts;

// The settings window's Keyboard shortcuts section: whether the desktop took
// the application's global shortcuts, and the equivalent glowmerectl
// command of each, with a Copy button, to bind in the desktop's own keyboard
// settings where it offers none. Qt thread.
class ShortcutsSection : public QWidget {
    Q_OBJECT
public:
    // `portal` may be null (no session bus): the commands are all there is.
    explicit ShortcutsSection(PortalShortcuts* portal, QWidget* parent = nullptr);

    QString stateText() const;

private:
    void showState();

    QPointer<PortalShortcuts> portal_;
    QLabel* state_ = nullptr;
};

}  // namespace glowmere::gui
