#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "controller/SessionActions.h"

class QCheckBox;
class QComboBox;

namespace glowmere::platform {
class DefaultsStore;
}

namespace glowmere::gui {

// The settings window's Session section: what the lamps do when the
// computer sleeps and wakes, when the screen locks and unlocks, and at
// log-out, and the switch for desktop notifications. Every choice is stored
// at once in the profile, where the session actions read it when the event
// comes. Qt thread.
class SessionSection : public QWidget {
    Q_OBJECT
public:
    // `presetNames` lists the presets a choice may apply (any thread).
    SessionSection(platform::DefaultsStore& defaults, std::function<std::vector<std::string>()> presetNames,
                   QWidget* parent = nullptr);

    // Shows what the profile holds now (the profile changed elsewhere).
    void refresh();
    QComboBox* choiceBox(SessionEvent event) const { return boxes_[static_cast<std::size_t>(event)]; }
    QCheckBox* notificationsSwitch() const { return notifications_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fill(SessionEvent event);
    void store(SessionEvent event);

    platform::DefaultsStore& defaults_;
    std::function<std::vector<std::string>()> presetNames_;
    std::array<QComboBox*, 5> boxes_{};
    QCheckBox* notifications_ = nullptr;
    bool filling_ = false;
};

}  // namespace glowmere::gui
