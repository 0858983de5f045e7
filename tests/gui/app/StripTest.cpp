#include <QTest>
#include <nlohmann/json.hpp>

#include "GuiHarness.h"
#include "controller/ManualController.h"
#include "controls/LampControlStrip.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/ViewWidgets.h"

namespace glowmere::testing {
namespace {

using StripTest = GuiTest;
using nlohmann::json;

json bodyOf(const SimRequest& r) {
    return json::parse(r.body, nullptr, false);
}

// Rebuilds in a burst remove and add every strip again and again while the
// window thread syncs them in batches: what is left is one widget a subview,
// stacked in the subviews' order, and nothing retired still on show.
TEST_F(StripTest, RebuildsInABurstLeaveOneWidgetASubviewStackedInTheirOrder) {
    AppUnderTest t(house(6, 2, /*fakeClock=*/true));
    ASSERT_TRUE(t.waitForStrips(8));
    t.onController([&] {
        for (int i = 0; i < 3; ++i) t.app().manualController().refreshSetUp();
    });
    ASSERT_TRUE(t.waitForStrips(8));
    gui::ViewWidget* content = t.app().mainWindow().contentWidget();
    std::vector<const platform::View*> subviews;
    t.onController([&] {
        for (const auto& v : content->view().subviews()) subviews.push_back(v.get());
    });
    std::vector<const platform::View*> stacked;
    ASSERT_TRUE(pumpUntil([&] {
        stacked.clear();
        for (QObject* child : content->children())
            if (auto* w = qobject_cast<gui::ViewWidget*>(child)) stacked.push_back(&w->view());
        return stacked.size() == subviews.size();
    })) << stacked.size()
        << " widgets for " << subviews.size() << " subviews";
    EXPECT_EQ(stacked, subviews);
}

TEST_F(StripTest, MovingALampsColourSliderSendsOneRequestWithBrightnessColourAndSaturation) {
    AppUnderTest t(house(3, 2));
    ASSERT_TRUE(t.waitForStrips(5));
    t.sim().clearRequestLog();
    auto* colour = t.slider(0, 4);
    ASSERT_TRUE(colour);
    const int brightness = t.slider(0, 3)->value();
    const int saturationPosition = t.slider(0, 5)->value();

    drag(colour, {40000});
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/1/state").empty(); }));
    pumpUntil([] { return false; }, 300);  // anything else would have arrived by now
    const auto puts = requestsTo(t.sim(), "PUT", "/");
    ASSERT_EQ(puts.size(), 1u);
    const json body = bodyOf(puts[0]);
    EXPECT_EQ(body.value("hue", -1), 40000);
    EXPECT_EQ(body.value("bri", -1), brightness);
    EXPECT_EQ(body.value("sat", -1), 255 - saturationPosition);
}

TEST_F(StripTest, SwitchingALampOnSendsTheSwitchThenTheAllValuesRequest) {
    AppUnderTest t(house(3, 0));
    ASSERT_TRUE(t.waitForStrips(3));
    auto* onOff = t.onOffSwitch(1);  // lamp "2": even lamps start switched off
    ASSERT_TRUE(onOff);
    ASSERT_FALSE(onOff->isChecked());
    t.sim().clearRequestLog();

    QTest::mouseClick(onOff, Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return requestsTo(t.sim(), "PUT", "/lights/2/state").size() >= 2; }));
    const auto puts = requestsTo(t.sim(), "PUT", "/lights/2/state");
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_EQ(bodyOf(puts[0]), json({{"on", true}}));
    EXPECT_TRUE(bodyOf(puts[1]).contains("bri"));
    EXPECT_TRUE(bodyOf(puts[1]).contains("hue"));
    EXPECT_TRUE(bodyOf(puts[1]).contains("sat"));
    EXPECT_TRUE(onOff->isChecked());
}

TEST_F(StripTest, AGroupSliderSendsToTheGroupOnlyAndMovesItsMembersStrips) {
    AppUnderTest t(house(3, 2));
    ASSERT_TRUE(t.waitForStrips(5));
    t.sim().clearRequestLog();
    drag(t.slider(3, 3), {77});
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/groups/1/action").empty(); }, 4000)) << [&] {
        std::string all;
        for (auto& r : t.sim().requestLog()) all += r.method + " " + r.path + " " + r.body + "\n";
        return all;
    }();
    // The members' strips follow; the other lamps' stay.
    const json group = json::parse(t.sim().userRequest("GET", "groups/1").value_or("{}"), nullptr, false);
    std::vector<bool> member(3, false);
    for (const auto& id : group.value("lights", json::array())) member.at(std::stoi(id.get<std::string>()) - 1) = true;
    ASSERT_TRUE(member[0] || member[1] || member[2]);
    ASSERT_TRUE(pumpUntil([&] {
        for (std::size_t k = 0; k < 3; ++k)
            if (member[k] && t.slider(k, 3)->value() != 77) return false;
        return true;
    }));
    for (std::size_t k = 0; k < 3; ++k) {
        if (!member[k]) {
            EXPECT_NE(t.slider(k, 3)->value(), 77) << "lamp " << k + 1 << " is not in the group";
        }
    }
    const auto puts = requestsTo(t.sim(), "PUT", "/");
    ASSERT_EQ(puts.size(), 1u) << "the members follow without requests of their own";
    EXPECT_EQ(bodyOf(puts[0]), json({{"bri", 77}}));
}

TEST_F(StripTest, ADragSendsTheReleasedValueLast) {
    AppUnderTest t(house(1, 0));
    ASSERT_TRUE(t.waitForStrips(1));
    t.sim().clearRequestLog();
    std::vector<int> path;
    for (int v = 10; v <= 250; v += 10) path.push_back(v);
    drag(t.slider(0, 3), path);
    ASSERT_TRUE(pumpUntil([&] {
        auto puts = requestsTo(t.sim(), "PUT", "/lights/1/state");
        return !puts.empty() && bodyOf(puts.back()).value("bri", -1) == 250;
    }));
    const auto puts = requestsTo(t.sim(), "PUT", "/lights/1/state");
    EXPECT_LE(puts.size(), 3u) << "a burst of moves within 100 ms is not a request each";
}

// Strips are painted from pictures shared by all strips that look alike:
// what the lamp's state changes on screen must change the picture, and going
// back must show exactly what was there before.
TEST_F(StripTest, AStripsPictureFollowsItsLampAndComesBackExactly) {
    AppUnderTest t(house(2, 0));
    ASSERT_TRUE(t.waitForStrips(2));
    gui::StripViewWidget* strip = t.stripWidget(1);  // lamp "2" starts switched off
    auto* onOff = t.onOffSwitch(1);
    ASSERT_TRUE(strip && onOff && !onOff->isChecked());
    auto picture = [&](QWidget* w) {
        pumpUntil([] { return false; }, 100);
        onOff->clearFocus();  // a click leaves its ring on the switch
        return w->grab().toImage();
    };
    // A few rows of a slider's groove, at the end away from its knob.
    auto groove = [&](gui::StripSlider* slider) {
        const QImage image = picture(slider);
        const bool knobHigh = slider->value() - slider->minimum() > (slider->maximum() - slider->minimum()) / 2;
        return image.copy(0, knobHigh ? image.height() - 12 : 4, image.width(), 8);
    };
    gui::StripSlider* brightness = t.slider(1, 3);
    const QImage dimmed = picture(strip), dimmedGroove = groove(brightness);
    QTest::mouseClick(onOff, Qt::LeftButton);
    EXPECT_NE(picture(strip), dimmed) << "switched on, the strip is no longer dimmed";
    EXPECT_NE(groove(brightness), dimmedGroove);
    QTest::mouseClick(onOff, Qt::LeftButton);
    EXPECT_EQ(picture(strip), dimmed);

    // The saturation groove takes the colour slider's hue.
    gui::StripSlider* saturation = t.slider(1, 5);
    const QImage before = groove(saturation);
    drag(t.slider(1, 4), {20000});
    EXPECT_NE(groove(saturation), before);
}

TEST_F(StripTest, NamesBreakBetweenWordsIntoTwoLinesThenEndInAnEllipsis) {
    const QFontMetrics m{QFont()};
    const QString ellipsis(QChar(0x2026));
    struct Case {
        const char* name;
        const char* widthOf;  // the line is as wide as this text
        QStringList lines;    // an entry ending in "~": that head, then an ellipsis
        bool complete;
    };
    const Case cases[] = {
        {"Hall", "Hall", {"Hall"}, true},
        // The word too long for a line with the next: never "Wohnzimme / r Ecke".
        {"Wohnzimmer Ecke", "Wohnzimmer", {"Wohnzimmer", "Ecke"}, true},
        {"  Reading   lamp ", "Reading lamp", {"Reading lamp"}, true},
        {"Living room by the window", "Living room", {"Living room", "by~"}, false},
        // One word wider than the line: cut, with the ellipsis.
        {"Donaudampfschifffahrt", "Donaudampf", {"Donau~"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int width = m.horizontalAdvance(QString::fromUtf8(c.widthOf));
        bool complete = !c.complete;
        const QStringList lines = gui::stripNameLines(QString::fromUtf8(c.name), m, width, &complete);
        EXPECT_EQ(complete, c.complete);
        ASSERT_EQ(lines.size(), c.lines.size()) << lines.join('|').toStdString();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            EXPECT_LE(m.horizontalAdvance(lines[i]), width);
            if (c.lines[i].endsWith('~')) {
                EXPECT_TRUE(lines[i].startsWith(c.lines[i].chopped(1)) && lines[i].endsWith(ellipsis))
                    << lines[i].toStdString();
            } else {
                EXPECT_EQ(lines[i], c.lines[i]);
            }
        }
    }
}

}  // namespace
}  // namespace glowmere::testing
