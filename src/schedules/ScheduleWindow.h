#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Ui.h"
#include "schedules/ActionWindowController.h"
#include "schedules/ScheduleManager.h"

namespace glowmere {

// The schedule window's side of the schedule manager: the list of schedule
// items (enabled, description, name), the commands that create, edit, enable,
// disable and delete them, the action editor (its controls live here; the
// window shows them), the status line, the import and the delete-all.
//
// Everything runs on the controller thread, where the bridge requests of a
// registration or an import block for as long as they take; the window's
// thread only shows the rows and the controls and posts what the user does.
// The rows are published as a snapshot the window reads at once.
class ScheduleWindow final {
public:
    // Column identifiers of the list.
    static constexpr const char* enabledColumn = "enabled";
    static constexpr const char* descriptionColumn = "description";
    static constexpr const char* nameColumn = "name";

    // One row of the list as shown. `key` names the item for the commands
    // below (it is only compared, never followed).
    struct Row {
        const void* key = nullptr;
        bool enabled = false;
        std::string description;
        std::string name;
        bool operator==(const Row&) const = default;
    };

    ScheduleWindow(ScheduleManager& manager, BridgeBridge& bridge, platform::DefaultsStore& defaults);
    ~ScheduleWindow();
    ScheduleWindow(const ScheduleWindow&) = delete;
    ScheduleWindow& operator=(const ScheduleWindow&) = delete;

    // ---- Outlets; any may be left unset ----
    void setScheduleWindow(platform::Window* window) { scheduleWindow_ = window; }
    // The editor: brought to the front to edit, ordered out when finished.
    void setEditorWindow(platform::Window* window) { editor_ = window; }
    void setAlerts(platform::Alerts* alerts) { alerts_ = alerts; }
    // Turns while the bridge is being asked.
    void setProgressIndicator(platform::ProgressIndicator* progress) { progress_ = progress; }
    // The lamp chooser the main controller fills.
    void setLampsPopUp(platform::PopUpButton* popUp);
    // The main controller's IDforTag:group: and turnOnLocationManagerIfNecessary:.
    void setLampIdentifier(std::function<std::optional<std::string>(int tag, bool group)> identify) {
        std::lock_guard lock(hooksMutex_);
        identifyLamp_ = std::move(identify);
    }
    void setLocationStarter(std::function<void()> start) {
        std::lock_guard lock(hooksMutex_);
        startLocation_ = std::move(start);
    }
    // Told (on the controller thread) whenever the rows changed.
    void setRowsObserver(std::function<void()> observer);

    // ---- The list ----
    std::vector<Row> rows() const;
    std::size_t numberOfRowsInTableView() const { return rows().size(); }
    // The row whose item is in the editor, if it is listed.
    std::optional<std::size_t> editedRow() const;
    bool isEditing() const { return currentItem_ != nullptr; }
    // The "enabled" check box was clicked: the item's state is toggled.
    void tableViewSetObjectValueForTableColumnRow(const std::string& column, const void* key);
    // Reloads the rows from the items.
    void reloadData();

    // ---- Commands (the row is the selected one, or none) ----
    void create();
    void edit(const void* key);
    // Deletes at once; askToDelete asks first (the Delete button and the
    // delete keys), and Cancel keeps the item.
    void deleteItem(const void* key);
    void askToDelete(const void* key);
    static platform::AlertSpec deleteItemAlert(const std::string& name);
    void setSelectedRow(const void* key) { selected_ = key; }
    // After its confirmation: every bridge schedule deleted, every item disabled.
    void deleteAllFromBridge();
    void deleteAllConfirmed();
    // The bridge's foreign schedules become items; what came in is shown.
    void importFromBridge();
    // The status line: foreign schedules, and items whose schedules are gone.
    void windowDidBecomeKey();
    // The same, asked for: the report line always answers.
    void check();

    // ---- The editor ----
    void setItem(Action& item);
    void finish();
    // The link check box's action (any other sender does nothing).
    void handleControl(platform::Control* sender);
    // The editor is asked to close (a click outside it, or Done): false,
    // with a beep, while a shown time field holds no time.
    bool popoverShouldClose();
    ActionWindowController& actionWindowController() { return actionWindowController_; }

    // The editor's controls.
    platform::TextField& tfName() { return *tfName_; }
    platform::TextField& tfOn() { return *tfOn_; }
    platform::TextField& tfOff() { return *tfOff_; }
    platform::Button& btnDay(int index) { return *days_[static_cast<std::size_t>(index)]; }  // 0 Monday .. 6 Sunday
    platform::Slider& slBrightness() { return *slBrightness_; }
    platform::Slider& slColour() { return *slColour_; }
    platform::Slider& slSaturation() { return *slSaturation_; }
    platform::Button& btnVary() { return *btnVary_; }
    platform::Button& btnColourBrightness() { return *btnColourBrightness_; }
    platform::Button& btnLinkSunriseSunset() { return *btnLinkSunriseSunset_; }
    platform::PopUpButton& btnAction() { return *btnAction_; }
    platform::PopUpButton* btnLamp() { return btnLamp_.get(); }
    // Labels shown and hidden with the controls they name.
    platform::TextField& onTimeLabel() { return *onTimeLabel_; }
    platform::TextField& onTimeHelpLabel() { return *onTimeHelpLabel_; }
    platform::TextField& offTimeLabel() { return *offTimeLabel_; }
    platform::TextField& offTimeHelpLabel() { return *offTimeHelpLabel_; }
    platform::TextField& lampLabel() { return *lampLabel_; }
    platform::TextField& brightnessLabel() { return *brightnessLabel_; }
    platform::TextField& colourLabel() { return *colourLabel_; }
    platform::TextField& saturationLabel() { return *saturationLabel_; }
    platform::Control& colourBezel() { return *colourBezel_; }
    // Why the editor did not close.
    platform::TextField& tfEditorMessage() { return *tfEditorMessage_; }

    // The window's lines: the status (foreign schedules), what the last
    // import or check found, and the work under way.
    platform::TextField& tfManagerStatus() { return *tfManagerStatus_; }
    platform::TextField& tfReport() { return *tfReport_; }
    platform::TextField& tfActivity() { return *tfActivity_; }
    // How many schedules the status line's foreign ones are ("2 schedules"),
    // empty when there are none.
    platform::TextField& tfForeignSchedules() { return *tfForeignSchedules_; }

    // A shared handle to one of the controls above, for the window's widgets.
    std::shared_ptr<platform::Control> sharedControl(const platform::Control& control) const;

    // Kind pop-up titles, by kind 0..6.
    static const std::array<const char*, 7> kindTitles;

private:
    std::shared_ptr<Action> itemWithKey(const void* key) const;
    std::optional<std::size_t> indexOf(const void* key) const;
    // Runs bridge work with the activity line and the indicator showing.
    void busy(const std::string& what, const std::function<void()>& work);
    void closeEditor();
    // The manager's problems with the last operation, as sentences.
    std::string problemText() const;
    // What the editor's controls show, to tell whether Done changed anything.
    Value editorState() const;
    std::string timeAround(const std::string& hhmm, int seconds) const;
    void showForeignCount();

    ScheduleManager& manager_;
    BridgeBridge& bridge_;
    platform::DefaultsStore& defaults_;
    platform::Window* scheduleWindow_ = nullptr;
    platform::Window* editor_ = nullptr;
    platform::Alerts* alerts_ = nullptr;
    platform::ProgressIndicator* progress_ = nullptr;
    // Set on the window thread, read on the controller thread.
    mutable std::mutex hooksMutex_;
    std::function<std::optional<std::string>(int, bool)> identifyLamp_;
    std::function<void()> startLocation_;

    std::shared_ptr<Action> currentItem_;
    bool newItem_ = false;  // made by create() and not yet finished
    Value shown_;           // editorState() as setItem left it
    const void* selected_ = nullptr;

    mutable std::mutex rowsMutex_;
    std::vector<Row> rows_;
    std::function<void()> rowsObserver_;

    std::shared_ptr<platform::TextField> tfName_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> tfOn_ = std::make_shared<platform::TextField>("00:00");
    std::shared_ptr<platform::TextField> tfOff_ = std::make_shared<platform::TextField>("00:00");
    std::array<std::shared_ptr<platform::Button>, 7> days_;
    std::shared_ptr<platform::Slider> slBrightness_ = std::make_shared<platform::Slider>(0, 255, 255);
    std::shared_ptr<platform::Slider> slColour_ = std::make_shared<platform::Slider>(0, 65535, 0);
    std::shared_ptr<platform::Slider> slSaturation_ = std::make_shared<platform::Slider>(0, 255, 0);
    std::shared_ptr<platform::Button> btnVary_ = std::make_shared<platform::Button>("Vary the times a little");
    std::shared_ptr<platform::Button> btnColourBrightness_ =
        std::make_shared<platform::Button>("Also set colour and brightness");
    std::shared_ptr<platform::Button> btnLinkSunriseSunset_ =
        std::make_shared<platform::Button>("Follow sunrise and sunset");
    std::shared_ptr<platform::PopUpButton> btnAction_ = std::make_shared<platform::PopUpButton>();
    std::shared_ptr<platform::PopUpButton> btnLamp_;
    std::shared_ptr<platform::TextField> onTimeLabel_ = std::make_shared<platform::TextField>("On");
    std::shared_ptr<platform::TextField> onTimeHelpLabel_ = std::make_shared<platform::TextField>("HH:MM");
    std::shared_ptr<platform::TextField> offTimeLabel_ = std::make_shared<platform::TextField>("Off");
    std::shared_ptr<platform::TextField> offTimeHelpLabel_ = std::make_shared<platform::TextField>("HH:MM");
    std::shared_ptr<platform::TextField> lampLabel_ = std::make_shared<platform::TextField>("Lamp");
    std::shared_ptr<platform::TextField> brightnessLabel_ = std::make_shared<platform::TextField>("Brightness");
    std::shared_ptr<platform::TextField> colourLabel_ = std::make_shared<platform::TextField>("Colour");
    std::shared_ptr<platform::TextField> saturationLabel_ = std::make_shared<platform::TextField>("Saturation");
    std::shared_ptr<platform::Control> colourBezel_ = std::make_shared<platform::Control>();
    std::shared_ptr<platform::TextField> tfEditorMessage_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> tfManagerStatus_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> tfReport_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> tfActivity_ = std::make_shared<platform::TextField>();
    std::shared_ptr<platform::TextField> tfForeignSchedules_ = std::make_shared<platform::TextField>();

    ActionWindowController actionWindowController_;
};

}  // namespace glowmere
