#pragma once

#include <memory>
#include <optional>
#include <string>

#include "bridge/BridgeBridge.h"
#include "controls/BridgeClient.h"
#include "controls/ControlStripView.h"
#include "controls/StripOwner.h"
#include "platform/Controls.h"
#include "platform/DefaultsStore.h"
#include "platform/Value.h"
#include "platform/Views.h"

namespace glowmere {

// The controller behind one strip of controls: a lamp, a bridge group, or the
// All strip (group "0"). It turns what the user does with the switch and the
// sliders into bridge requests, and takes values written into it (polling,
// group changes, presets) without sending them back. Lives on the controller
// thread. The controls belong to the strip's view; the strip refers to them.
class LampControlStrip : public LampIdentifying, public platform::PopoverDelegate {
public:
    // Strip record keys.
    static constexpr const char* labelKey = "label";
    static constexpr const char* onoffKey = "onoff";
    static constexpr const char* brightnessKey = "brightness";
    static constexpr const char* colourKey = "colour";
    static constexpr const char* saturationKey = "saturation";
    static constexpr const char* idKey = "id";
    static constexpr const char* transitionKey = "transition";
    static constexpr const char* transitionTimeKey = "transitiontime";
    // Colour temperature in mireds, for white lamps of adjustable warmth.
    static constexpr const char* colourTemperatureKey = "ct";
    static constexpr double coolestMireds = 153;
    static constexpr double warmestMireds = 500;
    static constexpr const char* transitionMinsKey = "transitionMins";
    // The lamp's colour mode as its state reports it: "hs", "ct" or "xy".
    static constexpr const char* colourModeKey = "colormode";

    static constexpr double foldedHeight = 34;
    static constexpr double unfoldedHeight = 438;

    LampControlStrip() = default;
    ~LampControlStrip() override;
    LampControlStrip(const LampControlStrip&) = delete;
    LampControlStrip& operator=(const LampControlStrip&) = delete;

    // ---- Set-up ----
    void setID(std::string id) { ID_ = std::move(id); }
    void setTag(int tag) { tag_ = tag; }
    void setGroup(bool group) { group_ = group; }
    void setLabel(platform::TextField* label) { label_ = label; }
    void setGroupLabel(platform::TextField* groupLabel) { groupLabel_ = groupLabel; }
    void setOnOffButton(platform::Button* button) { onoffButton_ = button; }
    void setBrightnessSlider(platform::Slider* slider) { brightnessSlider_ = slider; }
    void setColourSlider(platform::Slider* slider) { colourSlider_ = slider; }
    void setSatSlider(platform::Slider* slider) { satSlider_ = slider; }
    void setColourTemperatureSlider(platform::Slider* slider) { ctSlider_ = slider; }
    // What the lamp can show: colour (its state has "hue") and colour
    // temperature (it has "ct"). A strip never sends a lamp keys it cannot
    // take; the sliders it cannot use are hidden, and a lamp with colour
    // temperature but no colour gets the warmth slider in the colour's place.
    // Group strips keep every slider (the bridge hands a group's keys only to
    // the members that take them).
    void setCapabilities(bool colour, bool colourTemperature);
    // A colour lamp that can also be white of a given warmth is in one mode
    // at a time: hue and saturation ("hs", also for "xy"), or colour
    // temperature ("ct"). The strip sends it the keys of its mode only, as a
    // bridge given both takes the temperature and whitens the lamp.
    void setColourMode(const std::string& mode) { colourTemperatureMode_ = mode == "ct"; }
    bool hasColour() const { return hasColour_; }
    bool hasColourTemperature() const { return hasColourTemperature_; }
    // Where "transitionMins" is read from (the dusk popover and its start).
    void setDefaults(const platform::DefaultsStore* defaults) { defaults_ = defaults; }
    void setHorizontalRule(platform::View* rule) { horizontalRule_ = rule; }
    // The strip keeps its view (and through it the controls) alive.
    void setControlStripView(std::unique_ptr<ControlStripView> view);
    void setReNamePopover(platform::Popover* popover) { reNamePopover_ = popover; }
    void setReNameEditingField(platform::TextField* field) { reNameEditingField_ = field; }
    void setDuskPopover(platform::Popover* popover) { duskPopover_ = popover; }
    void setDuskButton(platform::Button* button) { duskButton_ = button; }
    void setBridgeBridge(BridgeClient* bridge) { bridgeBridge_ = bridge; }
    void setOwner(StripOwner* owner) { owner_ = owner; }

    // ---- Queries ----
    std::string getID() const override { return ID_; }
    int tag() const { return tag_; }
    bool isGroup() const { return group_; }
    bool isRotated() const { return isRotated_; }
    bool isEmbargoed() const { return embargo_; }
    ControlStripView* getControlStripView() const { return controlStripView_.get(); }
    // The view holding the strip's controls; removed from the window at a rebuild.
    platform::View* mainView() const;

    platform::TextField* label() const { return label_; }
    platform::TextField* groupLabel() const { return groupLabel_; }
    platform::Button* onoffButton() const { return onoffButton_; }
    platform::Slider* brightnessSlider() const { return brightnessSlider_; }
    platform::Slider* colourSlider() const { return colourSlider_; }
    platform::Slider* satSlider() const { return satSlider_; }
    platform::Slider* colourTemperatureSlider() const { return ctSlider_; }
    platform::View* horizontalRule() const { return horizontalRule_; }
    platform::Button* duskButton() const { return duskButton_; }
    platform::Popover* reNamePopover() const { return reNamePopover_; }
    platform::Popover* duskPopover() const { return duskPopover_; }
    platform::TextField* reNameEditingField() const { return reNameEditingField_; }

    // ---- Actions ----
    void handleControl(platform::Control* sender);
    void switchOn();
    void switchOff();
    // Sent by the strip's view on a double click: folds an unfolded strip.
    void doubleClick();

    // Folding. `byOwner` is true when the owner folds while restoring the
    // saved state, which must not be saved again.
    void rotateControlStripView(bool byOwner = false);
    void unRotateControlStripView(bool byOwner = false);
    // The All strip's rename button: unfolds a folded strip, else nothing.
    void unfoldInstruction();
    // The rename button (tag 6): the rename popover, or on a folded strip
    // unfolding; the All strip, which has no rename popover, unfolds only.
    void renameButtonPressed();
    void showReNamePopover();
    void reName();
    // The dusk button (tag 8) and the dusk popover's start button.
    void showDuskPopover();
    void startFalseDusk();
    // The dusk popover's text for `minutes` of transition and `label`.
    static std::string duskMessage(const Value& minutes, const std::string& label);
    // While a dusk started here runs, the dusk button says so (state 1, its
    // title the whole minutes left) and its popover offers to stop it.
    // The lamp is on while it fades, and the switch shows it on.
    bool duskRunning() const { return duskEnd_.has_value(); }
    std::optional<int> duskMinutesLeft() const;
    static std::string duskRunningMessage(int minutesLeft, const std::string& label);
    // The popover's stop button: the lamp back at its brightness of before.
    void stopFalseDusk();
    // "Turn all on/off" reached the lamp: the switch shows it, a dusk ends.
    void showSwitchedByCommand(bool on);
    bool popoverShouldClose(platform::Popover* popover) override;

    // ---- Records ----
    Value objectForKey(const std::string& key) const;
    void setObjectForKey(const Value& value, const std::string& key);
    Value getDictionary() const;
    void implementSettingsFromDictionary(const Value& record);
    void implementSettingsFromDictionaryWithoutActing(const Value& record);
    void implementSettingsFromDictionaryWithTransitionTime(const Value& record);
    // The one timed request a strip record asks for: switch, brightness,
    // saturation (the bridge's), colour and "transitiontime" in seconds.
    // `lampIsOn`: the lamp's switch now.
    static Value timedRequest(const Value& record, double transition, bool lampIsOn);

private:
    Value allValuesRequest() const;
    void showDuskLeft();
    // The dusk is over (ran out, stopped, or overtaken by another change).
    void endDusk();
    void schedulePollingResume();
    void sendToLampOrGroup(const Value& settings);
    // `settings` without the keys this strip's lamp cannot take.
    Value fitToLamp(Value settings) const;

    platform::TextField* label_ = nullptr;
    platform::Slider* brightnessSlider_ = nullptr;
    platform::Slider* colourSlider_ = nullptr;
    platform::Slider* satSlider_ = nullptr;
    platform::Slider* ctSlider_ = nullptr;
    platform::Button* onoffButton_ = nullptr;
    platform::Popover* reNamePopover_ = nullptr;
    platform::TextField* reNameEditingField_ = nullptr;
    platform::Button* duskButton_ = nullptr;
    platform::Popover* duskPopover_ = nullptr;
    platform::View* horizontalRule_ = nullptr;
    platform::TextField* groupLabel_ = nullptr;
    StripOwner* owner_ = nullptr;
    BridgeClient* bridgeBridge_ = nullptr;
    std::unique_ptr<ControlStripView> controlStripView_;
    std::string ID_;
    int tag_ = 0;
    bool embargo_ = false;
    bool group_ = false;
    bool isRotated_ = false;
    bool applyingRecord_ = false;                        // a record, not the user, moves the controls
    std::optional<platform::Clock::TimePoint> duskEnd_;  // a dusk started here runs until then
    platform::RunLoop::TimerId duskTimer_ = 0;
    double brightnessBeforeDusk_ = 0;
    bool hasColour_ = true;
    bool hasColourTemperature_ = false;
    bool colourTemperatureMode_ = false;
    const platform::DefaultsStore* defaults_ = nullptr;
};

}  // namespace glowmere
