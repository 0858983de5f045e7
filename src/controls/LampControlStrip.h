#pragma once

#include <memory>
#include <string>

#include "bridge/BridgeBridge.h"
#include "controls/BridgeClient.h"
#include "controls/ControlStripView.h"
#include "controls/StripOwner.h"
#include "platform/Controls.h"
#include "platform/Value.h"
#include "platform/Views.h"

namespace glowmere {

// The controller behind one strip of controls: a lamp, a bridge group, or the
// All strip (group "0"). It turns what the user does with the switch and the
// sliders into bridge requests, and takes values written into it (polling,
// group changes, presets) without sending them back. Lives on the controller
// thread. The controls belong to the strip's view; the strip refers to them.
class LampControlStrip : public LampIdentifying {
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
    void schedulePollingResume();
    void sendToLampOrGroup(const Value& settings);

    platform::TextField* label_ = nullptr;
    platform::Slider* brightnessSlider_ = nullptr;
    platform::Slider* colourSlider_ = nullptr;
    platform::Slider* satSlider_ = nullptr;
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
};

}  // namespace glowmere
