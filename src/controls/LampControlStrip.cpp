#include "controls/LampControlStrip.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/InputChecks.h"

namespace glowmere {

namespace {

constexpr auto pollingPause = std::chrono::seconds(5);

// A number's whole value (truncated toward zero). Values that are not finite
// (an overflowing text from the bridge, say) have none and are left alone
// rather than driving a slider to infinity.
std::optional<double> wholeValue(double d) {
    if (!std::isfinite(d)) return std::nullopt;
    return std::trunc(d);
}

std::optional<double> finiteValue(const Value& v) {
    double d = v.doubleValue();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

}  // namespace

LampControlStrip::~LampControlStrip() {
    // The controls may outlive the strip in the GUI's hands; an action that
    // arrives after a rebuild must find no target rather than a dead one.
    for (platform::Control* c : std::initializer_list<platform::Control*>{
             onoffButton_, brightnessSlider_, colourSlider_, satSlider_, ctSlider_, duskButton_}) {
        if (c) c->setAction({});
    }
    if (mainView()) {
        if (auto* rename = mainView()->controlWithTag(6)) rename->setAction({});
    }
    if (duskTimer_ && owner_) owner_->runLoop().invalidate(duskTimer_);
}

void LampControlStrip::setControlStripView(std::unique_ptr<ControlStripView> view) {
    controlStripView_ = std::move(view);
}

platform::View* LampControlStrip::mainView() const {
    return controlStripView_ ? &controlStripView_->view() : nullptr;
}

Value LampControlStrip::allValuesRequest() const {
    Value request = Value::emptyMap();
    request.set(brightnessKey, brightnessSlider_ ? brightnessSlider_->doubleValue() : 0.0);
    request.set(saturationKey, 255.0 - (satSlider_ ? satSlider_->doubleValue() : 0.0));
    request.set(colourKey, colourSlider_ ? colourSlider_->doubleValue() : 0.0);
    if (hasColourTemperature_ && ctSlider_) request.set(colourTemperatureKey, ctSlider_->doubleValue());
    return fitToLamp(std::move(request));
}

Value LampControlStrip::fitToLamp(Value settings) const {
    if (!settings.isMap()) return settings;
    if (!hasColour_) {
        settings.erase(colourKey);
        settings.erase(saturationKey);
    }
    if (group_) return settings;
    if (!hasColourTemperature_) settings.erase(colourTemperatureKey);
    if (hasColour_ && hasColourTemperature_) {
        if (colourTemperatureMode_) {
            settings.erase(colourKey);
            settings.erase(saturationKey);
        } else {
            settings.erase(colourTemperatureKey);
        }
    }
    return settings;
}

void LampControlStrip::setCapabilities(bool colour, bool colourTemperature) {
    if (group_) {
        // A group has colour when one of its lamps has; its warmth is not
        // offered (group commands carry brightness and colour only).
        hasColour_ = colour;
        if (colourSlider_) colourSlider_->setHidden(!colour);
        if (satSlider_) satSlider_->setHidden(!colour);
        return;
    }
    hasColour_ = colour;
    hasColourTemperature_ = colourTemperature;
    if (colourSlider_) colourSlider_->setHidden(!colour);
    if (satSlider_) satSlider_->setHidden(!colour);
    if (ctSlider_) ctSlider_->setHidden(colour || !colourTemperature);
}

void LampControlStrip::handleControl(platform::Control* sender) {
    if (owner_) owner_->setPollingEnabled(false);
    // What the user changes now takes the lamp out of its fade.
    if (sender && !applyingRecord_ && duskRunning()) endDusk();
    // A colour or warmth slider the user moves puts the lamp in its mode.
    if (sender && !group_ && !applyingRecord_) {
        if (sender == ctSlider_) colourTemperatureMode_ = true;
        if (sender == colourSlider_ || sender == satSlider_) colourTemperatureMode_ = false;
    }
    Value allValues = allValuesRequest();

    if (bridgeBridge_ && sender) {
        if (group_) {
            if (sender == onoffButton_) {
                if (onoffButton_->state() == 1) {
                    bridgeBridge_->groupOn(ID_, true);
                    bridgeBridge_->sendSettingsToGroup(allValues, ID_);
                    if (owner_) owner_->sendSettingsToStripsInGroup(Value::map({{onoffKey, true}}), ID_);
                } else {
                    bridgeBridge_->groupOn(ID_, false);
                    if (owner_) owner_->sendSettingsToStripsInGroup(Value::map({{onoffKey, false}}), ID_);
                }
            }
            if (sender == brightnessSlider_) {
                double v = brightnessSlider_->doubleValue();
                bridgeBridge_->sendSettingsToGroup(Value::map({{brightnessKey, v}}), ID_);
                if (owner_) owner_->sendSettingsToStripsInGroup(Value::map({{brightnessKey, v}}), ID_);
            }
            if (sender == satSlider_) {
                double position = satSlider_->doubleValue();
                bridgeBridge_->sendSettingsToGroup(Value::map({{saturationKey, 255.0 - position}}), ID_);
                if (owner_) owner_->sendSettingsToStripsInGroup(Value::map({{saturationKey, position}}), ID_);
            }
            if (sender == colourSlider_) {
                double v = colourSlider_->doubleValue();
                bridgeBridge_->sendSettingsToGroup(Value::map({{colourKey, v}}), ID_);
                if (owner_) owner_->sendSettingsToStripsInGroup(Value::map({{colourKey, v}}), ID_);
            }
        } else if (sender == onoffButton_) {
            if (onoffButton_->state() == 1) {
                bridgeBridge_->lampOn(ID_, true);
                bridgeBridge_->sendSettingsToLamp(allValues, ID_);
            } else {
                bridgeBridge_->lampOn(ID_, false);
            }
        } else if (sender == brightnessSlider_ || sender == colourSlider_ || sender == satSlider_ ||
                   (sender == ctSlider_ && ctSlider_)) {
            // Whichever slider moved, the lamp gets all its values together.
            // An off lamp takes none of them: the user's move switches it on
            // first. Values written in by a record leave the switch alone.
            if (!applyingRecord_ && onoffButton_ && onoffButton_->state() != 1) {
                onoffButton_->setState(1);
                allValues.set(onoffKey, true);
            }
            bridgeBridge_->sendSettingsToLamp(allValues, ID_);
        }
    }
    schedulePollingResume();
}

void LampControlStrip::schedulePollingResume() {
    if (!owner_) return;
    // Never cancelled or merged: each action brings its own resume, so polling
    // stays off until five seconds after the last action of a burst (with
    // short windows in between, as each earlier resume fires).
    StripOwner* owner = owner_;
    owner_->runLoop().schedule(pollingPause, [owner, alive = owner_->lifetime()] {
        if (alive.lock()) owner->setPollingEnabled(true);
    });
}

void LampControlStrip::switchOn() {
    if (!onoffButton_) return;
    onoffButton_->setState(1);
    handleControl(onoffButton_);
}

void LampControlStrip::switchOff() {
    if (!onoffButton_) return;
    onoffButton_->setState(0);
    handleControl(onoffButton_);
}

void LampControlStrip::doubleClick() {
    // A double click folds, and a second one unfolds again: the band shows
    // no other way back than its small rename button.
    if (isRotated_)
        unRotateControlStripView();
    else
        rotateControlStripView();
}

void LampControlStrip::rotateControlStripView(bool byOwner) {
    if (!owner_ || !owner_->allowFold()) return;
    platform::View* view = mainView();
    if (view) {
        platform::Rect frame = view->frame();
        frame.size.height = foldedHeight;
        view->setFrame(frame);
        view->setFrameRotation(90);
    }
    if (horizontalRule_) horizontalRule_->setHidden(false);
    if (group_ && groupLabel_) groupLabel_->setStringValue("");
    isRotated_ = true;
    if (label_) label_->setAlignment(platform::TextField::Alignment::Left);
    owner_->recalculateControlStripPositions();
    if (!byOwner) owner_->saveUIState(this);
}

void LampControlStrip::unRotateControlStripView(bool byOwner) {
    platform::View* view = mainView();
    if (view) {
        platform::Rect frame = view->frame();
        frame.size.height = unfoldedHeight;
        view->setFrame(frame);
        view->setFrameRotation(0);
    }
    if (horizontalRule_) horizontalRule_->setHidden(true);
    if (group_ && groupLabel_) groupLabel_->setStringValue("Group");
    isRotated_ = false;
    if (label_) label_->setAlignment(platform::TextField::Alignment::Center);
    if (!owner_) return;
    owner_->recalculateControlStripPositions();
    if (!byOwner) owner_->saveUIState(this);
}

void LampControlStrip::unfoldInstruction() {
    if (isRotated_) unRotateControlStripView();
}

void LampControlStrip::renameButtonPressed() {
    if (!reNamePopover_) {
        unfoldInstruction();
        return;
    }
    showReNamePopover();
}

void LampControlStrip::showReNamePopover() {
    if (isRotated_) {
        // On a folded strip the rename button unfolds.
        unRotateControlStripView();
        return;
    }
    if (!reNamePopover_) return;
    // Next to the rename button that opened it, where the user looks; the
    // label when the strip has no such button.
    platform::View* anchor = nullptr;
    if (platform::View* view = mainView()) {
        anchor = view->subviewWithTag(6);  // the rename button
        for (const auto& sub : view->subviews())
            if (!anchor && sub->control() == label_) anchor = sub.get();
    }
    reNamePopover_->showRelativeToRectOfViewPreferredEdge(
        anchor ? platform::Rect{{0, 0}, anchor->frame().size} : platform::Rect{}, anchor, platform::RectEdge::MaxY);
    if (reNameEditingField_) {
        reNameEditingField_->setStringValue(label_ ? label_->stringValue() : std::string());
        platform::Popover* popover = reNamePopover_;
        reNameEditingField_->setAction([popover](platform::Control*) { popover->performClose(); });
    }
    reNamePopover_->setDelegate(this);
}

void LampControlStrip::reName() {
    if (!reNameEditingField_) return;
    // Trimmed and cut to what the bridge takes; a blank name leaves the old one.
    const std::optional<std::string> fitted = platform::fittedName(reNameEditingField_->stringValue());
    if (!fitted) return;
    const std::string& name = *fitted;
    if (owner_) owner_->setPollingEnabled(false);
    if (label_) label_->setStringValue(name);
    if (bridgeBridge_) {
        if (group_)
            bridgeBridge_->renameGroupNewName(ID_, name);
        else
            bridgeBridge_->renameLampNewName(ID_, name);
    }
    if (owner_) {
        owner_->populateLampsPopUp();
        owner_->setPollingEnabled(true);
    }
}

std::string LampControlStrip::duskMessage(const Value& minutes, const std::string& label) {
    const double m = minutes.doubleValue();
    char text[512];
    if (m < 1.0) {
        const double seconds = std::isfinite(m) ? std::clamp(std::trunc(m * 60), -1e9, 1e9) : 0;
        std::snprintf(text, sizeof text,
                      "Perform false dusk using %s with transition time %i seconds (set in Settings)", label.c_str(),
                      static_cast<int>(seconds));
    } else {
        std::snprintf(text, sizeof text,
                      "Perform false dusk using %s with transition time %i minutes (set in Settings)", label.c_str(),
                      minutes.intValue());
    }
    return text;
}

void LampControlStrip::showDuskPopover() {
    if (!duskPopover_) return;
    const Value minutes = defaults_ ? defaults_->objectForKey(transitionMinsKey) : Value("30");
    const std::string label = label_ ? label_->stringValue() : std::string();
    const std::optional<int> left = duskMinutesLeft();
    if (platform::View* content = duskPopover_->contentView()) {
        for (const auto& sub : content->subviews()) {
            platform::Control* control = sub->control();
            if (!control) continue;
            platform::Popover* popover = duskPopover_;
            switch (control->tag()) {
                case 0:
                    if (auto* field = dynamic_cast<platform::TextField*>(control))
                        field->setStringValue(left ? duskRunningMessage(*left, label) : duskMessage(minutes, label));
                    break;
                case 1:
                    if (auto* button = dynamic_cast<platform::Button*>(control))
                        button->setTitle(left ? "Keep fading" : "Cancel");
                    control->setAction([popover](platform::Control*) { popover->performClose(); });
                    break;
                case 2:
                    if (auto* button = dynamic_cast<platform::Button*>(control))
                        button->setTitle(left ? "Stop dusk" : "Start");
                    if (left)
                        control->setAction([this](platform::Control*) { stopFalseDusk(); });
                    else
                        control->setAction([this](platform::Control*) { startFalseDusk(); });
                    break;
                default:
                    break;
            }
        }
    }
    platform::View* anchor = nullptr;
    if (platform::View* view = mainView())
        for (const auto& sub : view->subviews())
            if (sub->control() == duskButton_) anchor = sub.get();
    duskPopover_->showRelativeToRectOfViewPreferredEdge(
        anchor ? platform::Rect{{0, 0}, anchor->frame().size} : platform::Rect{}, anchor, platform::RectEdge::MaxY);
    duskPopover_->setDelegate(this);
}

void LampControlStrip::startFalseDusk() {
    if (duskPopover_) duskPopover_->performClose();
    double minutes = 30.0;
    if (defaults_) {
        const Value stored = defaults_->objectForKey(transitionMinsKey);
        if (!stored.isNull()) minutes = stored.doubleValue();
    }
    if (!bridgeBridge_) return;
    if (group_)
        bridgeBridge_->startFalseDuskForGroupWithTransition(ID_, minutes);
    else
        bridgeBridge_->startFalseDuskForLampWithTransition(ID_, minutes);
    // Only a fade that takes time is worth showing (and a lamp that is on).
    if (!owner_ || !std::isfinite(minutes) || minutes <= 0 || (onoffButton_ && onoffButton_->state() != 1)) return;
    platform::RunLoop& loop = owner_->runLoop();
    const auto length = std::chrono::duration_cast<platform::Clock::Duration>(
        std::chrono::duration<double, std::ratio<60>>(std::min(minutes, 24.0 * 60)));
    if (duskTimer_) loop.invalidate(duskTimer_);
    duskEnd_ = loop.clock().now() + length;
    brightnessBeforeDusk_ = brightnessSlider_ ? brightnessSlider_->doubleValue() : 255;
    // The count is shown to the minute; a tick every few seconds keeps it
    // within that without waking often.
    duskTimer_ = loop.scheduleRepeating(std::chrono::seconds(10), [this] { showDuskLeft(); });
    showDuskLeft();
}

std::optional<int> LampControlStrip::duskMinutesLeft() const {
    if (!duskEnd_ || !owner_) return std::nullopt;
    const auto left = *duskEnd_ - owner_->runLoop().clock().now();
    if (left <= platform::Clock::Duration::zero()) return 0;
    // Whole minutes, rounded up: "1" until the very end.
    return static_cast<int>((std::chrono::duration_cast<std::chrono::seconds>(left).count() + 59) / 60);
}

std::string LampControlStrip::duskRunningMessage(int minutesLeft, const std::string& label) {
    char text[512];
    std::snprintf(text, sizeof text, "False dusk using %s is running: %i minute%s left", label.c_str(), minutesLeft,
                  minutesLeft == 1 ? "" : "s");
    return text;
}

void LampControlStrip::showDuskLeft() {
    const std::optional<int> left = duskMinutesLeft();
    if (!left) return;
    if (*left <= 0) {
        // Faded out: the lamp is off now, whatever the last reading said.
        endDusk();
        if (onoffButton_) onoffButton_->setState(0);
        return;
    }
    if (duskButton_) {
        duskButton_->setTitle(std::to_string(*left));
        duskButton_->setState(1);
    }
}

void LampControlStrip::endDusk() {
    if (duskTimer_ && owner_) owner_->runLoop().invalidate(duskTimer_);
    duskTimer_ = 0;
    duskEnd_.reset();
    if (duskButton_) {
        duskButton_->setState(0);
        duskButton_->setTitle("");
    }
}

void LampControlStrip::stopFalseDusk() {
    if (duskPopover_) duskPopover_->performClose();
    if (!duskRunning()) return;
    endDusk();
    // Any new state ends the fade where it is; the brightness of before
    // takes the lamp back to where it started.
    sendToLampOrGroup(Value::map({{onoffKey, true}, {brightnessKey, brightnessBeforeDusk_}, {transitionTimeKey, 0.0}}));
    implementSettingsFromDictionaryWithoutActing(
        Value::map({{onoffKey, true}, {brightnessKey, brightnessBeforeDusk_}}));
    schedulePollingResume();
}

void LampControlStrip::showSwitchedByCommand(bool on) {
    if (duskRunning()) endDusk();
    implementSettingsFromDictionaryWithoutActing(Value::map({{onoffKey, on}}));
}

bool LampControlStrip::popoverShouldClose(platform::Popover* popover) {
    if (popover && popover == reNamePopover_ && reNameEditingField_ && !reNameEditingField_->stringValue().empty()) {
        reName();
        reNameEditingField_->setStringValue("");
    }
    return true;
}

Value LampControlStrip::objectForKey(const std::string& key) const {
    if (key == labelKey) return Value(label_ ? label_->stringValue() : std::string());
    if (key == brightnessKey) return Value(brightnessSlider_ ? brightnessSlider_->doubleValue() : 0.0);
    if (key == colourKey) return Value(colourSlider_ ? colourSlider_->doubleValue() : 0.0);
    if (key == saturationKey) return Value(satSlider_ ? satSlider_->doubleValue() : 0.0);
    if (key == colourTemperatureKey) return Value(ctSlider_ ? ctSlider_->doubleValue() : 0.0);
    if (key == onoffKey) return Value(onoffButton_ && onoffButton_->state() == 1);
    return Value("");
}

void LampControlStrip::setObjectForKey(const Value& value, const std::string& key) {
    if (key == labelKey) {
        if (label_) label_->setStringValue(value.textValue());
        return;
    }
    if (key == onoffKey) {
        if (onoffButton_) onoffButton_->setState(value.boolValue() ? 1 : 0);
        return;
    }
    platform::Slider* slider = key == brightnessKey          ? brightnessSlider_
                               : key == colourKey            ? colourSlider_
                               : key == saturationKey        ? satSlider_
                               : key == colourTemperatureKey ? ctSlider_
                                                             : nullptr;
    if (!slider) return;
    if (auto d = finiteValue(value)) slider->setDoubleValue(*d);
}

Value LampControlStrip::getDictionary() const {
    Value record = Value::emptyMap();
    for (const char* key : {labelKey, onoffKey, brightnessKey, colourKey, saturationKey})
        record.set(key, objectForKey(key));
    if (hasColourTemperature_ && !group_) record.set(colourTemperatureKey, objectForKey(colourTemperatureKey));
    record.set(idKey, ID_);
    return record;
}

void LampControlStrip::implementSettingsFromDictionary(const Value& record) {
    if (!record.isMap()) return;
    // A record sent to the lamp (a preset, a restore) ends its fade.
    if (!embargo_ && duskRunning()) endDusk();
    applyingRecord_ = true;
    if (const Value* mode = record.find(colourModeKey)) setColourMode(mode->textValue());

    if (const Value* v = record.find(brightnessKey); v && brightnessSlider_) {
        auto n = wholeValue(v->doubleValue());
        auto c = wholeValue(brightnessSlider_->doubleValue());
        // One whole unit below the slider counts as unchanged.
        if (n && c && *n != *c && *n != *c - 1) {
            setObjectForKey(*v, brightnessKey);
            if (!embargo_) handleControl(brightnessSlider_);
        }
    }
    auto applySlider = [&](const char* key, platform::Slider* slider) {
        const Value* v = record.find(key);
        if (!v || !slider) return;
        auto n = wholeValue(v->doubleValue());
        auto c = wholeValue(slider->doubleValue());
        if (n && c && *n != *c) {
            setObjectForKey(*v, key);
            if (!embargo_) handleControl(slider);
        }
    };
    applySlider(colourKey, colourSlider_);
    applySlider(saturationKey, satSlider_);
    if (hasColourTemperature_) applySlider(colourTemperatureKey, ctSlider_);

    // A lamp fading out is on until the fade ends, whatever a group's last
    // command (or a bridge that reports the end state at once) says.
    const bool fading = duskRunning() && embargo_;
    if (const Value* v = record.find(onoffKey); v && onoffButton_ && !(fading && !v->boolValue())) {
        if (v->boolValue() != (onoffButton_->state() == 1)) {
            setObjectForKey(*v, onoffKey);
            if (!embargo_) handleControl(onoffButton_);
        }
    }
    if (const Value* v = record.find(labelKey)) setObjectForKey(*v, labelKey);
    applyingRecord_ = false;
}

void LampControlStrip::implementSettingsFromDictionaryWithoutActing(const Value& record) {
    embargo_ = true;
    implementSettingsFromDictionary(record);
    embargo_ = false;
}

void LampControlStrip::sendToLampOrGroup(const Value& settings) {
    if (!bridgeBridge_) return;
    if (group_)
        bridgeBridge_->sendSettingsToGroup(settings, ID_);
    else
        bridgeBridge_->sendSettingsToLamp(fitToLamp(settings), ID_);
}

Value LampControlStrip::timedRequest(const Value& record, double transition, bool lampIsOn) {
    Value request = Value::emptyMap();
    // The stored switch is honoured: a preset restores a lamp that was off
    // as off. The bridge refuses colour and brightness for a lamp that is
    // off and stays off; one that is on takes them while it fades out, so
    // they are there when it is next switched on.
    const bool on = record[onoffKey].boolValue();
    if (record.contains(onoffKey)) request.set(onoffKey, on);
    if (!record.contains(onoffKey) || on || lampIsOn) {
        // A value the record lacks is left out rather than sent as nothing
        // (which the bridge would take as 0, darkening or whitening the lamp).
        if (const Value* v = record.find(brightnessKey)) request.set(brightnessKey, *v);
        if (const Value* v = record.find(saturationKey)) {
            double position = wholeValue(v->doubleValue()).value_or(0);
            // Clamped only so that a wild stored value cannot overflow the integer.
            request.set(saturationKey, static_cast<std::int64_t>(std::clamp(255 - position, -1e15, 1e15)));
        }
        if (const Value* v = record.find(colourKey)) request.set(colourKey, *v);
        if (const Value* v = record.find(colourTemperatureKey)) request.set(colourTemperatureKey, *v);
    }
    if (!std::isfinite(transition) || transition < 0) transition = 0;
    request.set(transitionTimeKey, transition);
    return request;
}

void LampControlStrip::implementSettingsFromDictionaryWithTransitionTime(const Value& record) {
    double t = record[transitionKey].doubleValue();
    if (!std::isfinite(t) || t < 0) t = 0;
    if (const Value* mode = record.find(colourModeKey)) setColourMode(mode->textValue());
    embargo_ = true;
    sendToLampOrGroup(timedRequest(record, t, onoffButton_ && onoffButton_->state() == 1));
    if (t < 1.0) implementSettingsFromDictionaryWithoutActing(record);
    embargo_ = false;
}

}  // namespace glowmere
