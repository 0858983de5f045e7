#include "gui/adapters/QtViewTemplates.h"

#include "gui/adapters/QtPlainWindow.h"
#include "gui/adapters/QtPopover.h"
#include "gui/widgets/ControlWidgets.h"

namespace glowmere::gui {

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::View;

namespace {

std::shared_ptr<View> control(const std::string& hint, Rect frame, std::shared_ptr<platform::Control> c, int tag) {
    c->setTag(tag);
    auto v = std::make_shared<View>("control", frame, std::move(c));
    if (!hint.empty()) v->setIdentifier(hint);
    return v;
}

std::shared_ptr<View> label(const std::string& hint, Rect frame, const std::string& text, int tag,
                            platform::TextField::Alignment alignment = platform::TextField::Alignment::Center) {
    auto field = std::make_shared<platform::TextField>(text);
    field->setAlignment(alignment);
    return control(hint, frame, field, tag);
}

std::shared_ptr<View> button(const std::string& hint, Rect frame, const std::string& title, int tag) {
    return control(hint, frame, std::make_shared<platform::Button>(title), tag);
}

std::shared_ptr<View> stripTemplate() {
    const double w = QtViewTemplates::stripWidth, h = QtViewTemplates::stripHeight;
    auto strip = std::make_shared<View>("SingleControl", Rect{{0, 0}, {w, h}});
    // Two lines for the name, so long names are not cut short.
    strip->addSubview(label(style::stripLabel, {{4, 400}, {87, 34}}, "", 1));
    strip->addSubview(label(style::caption, {{6, 386}, {83, 14}}, "", 7));
    strip->addSubview(control(style::onOffSwitch, {{24.5, 354}, {46, 24}}, std::make_shared<platform::Button>(), 2));
    const double sliderY = 68, sliderH = 270;
    strip->addSubview(control(style::brightnessSlider, {{7, sliderY}, {24, sliderH}},
                              std::make_shared<platform::Slider>(0, 255, 0), 3));
    strip->addSubview(control(style::hueSlider, {{35.5, sliderY}, {24, sliderH}},
                              std::make_shared<platform::Slider>(0, 65535, 0), 4));
    strip->addSubview(control(style::saturationSlider, {{64, sliderY}, {24, sliderH}},
                              std::make_shared<platform::Slider>(0, 255, 0), 5));
    // Warmth, in the colour slider's place, for white lamps that have it.
    auto warmth = control(style::colourTemperatureSlider, {{35.5, sliderY}, {24, sliderH}},
                          std::make_shared<platform::Slider>(153, 500, 366), 9);
    warmth->control()->setHidden(true);
    strip->addSubview(warmth);
    strip->addSubview(button(style::renameButton, {{10, 8}, {34, 26}}, "", 6));
    strip->addSubview(button(style::duskButton, {{51, 8}, {34, 26}}, "", 8));
    auto rule = std::make_shared<View>("box", Rect{{8, 38}, {79, 1}});
    rule->setIdentifier("horizontal");
    rule->setHidden(true);
    strip->addSubview(rule);
    return strip;
}

}  // namespace

std::shared_ptr<View> QtViewTemplates::loadView(const std::string& name) {
    using Align = platform::TextField::Alignment;
    if (name == "SingleControl") return stripTemplate();
    if (name == "reNameView") {
        auto v = std::make_shared<View>("reNameView", Rect{{0, 0}, {130, 87}});
        // The editing field comes first: it is the view's text field.
        v->addSubview(label(style::editField, {{10, 32}, {110, 24}}, "", 1));
        v->addSubview(label(style::caption, {{10, 60}, {110, 18}}, "New name", 100, Align::Left));
        v->addSubview(label(style::caption, {{10, 8}, {110, 18}}, "Return renames", 101, Align::Left));
        return v;
    }
    if (name == "duskView") {
        auto v = std::make_shared<View>("duskView", Rect{{0, 0}, {253, 130}});
        v->addSubview(label(style::message, {{12, 48}, {229, 72}}, "", 0, Align::Left));
        v->addSubview(button("", {{12, 10}, {100, 30}}, "Cancel", 1));
        v->addSubview(button("", {{141, 10}, {100, 30}}, "Start", 2));
        return v;
    }
    if (name == "makeGroupView") {
        auto v = std::make_shared<View>("makeGroupView", Rect{{0, 0}, {220, 133}});
        auto field = label(style::editField, {{12, 62}, {196, 24}}, "", 3);
        field->control()->setIdentifier("makeGroupNameField");
        v->addSubview(field);
        v->addSubview(label(style::message, {{12, 92}, {196, 34}}, "Tick the lamps for the new group and name it", 100,
                            Align::Left));
        v->addSubview(button("", {{12, 12}, {90, 30}}, "Cancel", 0));
        v->addSubview(button("", {{118, 12}, {90, 30}}, "Make group", 1));
        return v;
    }
    if (name == "removeGroupView") {
        auto v = std::make_shared<View>("removeGroupView", Rect{{0, 0}, {214, 86}});
        v->addSubview(label(style::message, {{12, 46}, {190, 34}}, "Tick the groups to remove", 100, Align::Left));
        v->addSubview(button("", {{12, 10}, {90, 30}}, "Cancel", 0));
        v->addSubview(button("", {{112, 10}, {90, 30}}, "Remove", 1));
        return v;
    }
    return nullptr;
}

std::unique_ptr<platform::Popover> QtViewTemplates::makePopover() {
    return std::make_unique<QtPopover>(context_);
}

std::unique_ptr<platform::PlainWindow> QtViewTemplates::makePlainWindow() {
    return std::make_unique<QtPlainWindow>(context_);
}

}  // namespace glowmere::gui
