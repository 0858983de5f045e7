#include <gtest/gtest.h>

#include "controls/LampSelectionView.h"
#include "controls/SettingsWindowController.h"
#include "platform/Log.h"
#include "support/FakeViews.h"

using namespace glowmere;
using glowmere::testing::FakePlainWindow;

namespace {

// ---- Selection rows ----

TEST(LampSelectionViewTest, SelectedIdsAreTickedTagsInSubviewOrder) {
    LampSelectionView row({{18, 10}, {300, 20}});
    for (int tag : {0, 2, 5}) row.addCheckbox({{tag * 95.0 + 38.5, 0}, {18, 18}}, tag);
    EXPECT_EQ(row.getSelectedIDs(), Value::emptyList());
    static_cast<platform::Button*>(row.checkboxWithTag(0)->control())->setState(1);
    static_cast<platform::Button*>(row.checkboxWithTag(5)->control())->setState(1);
    EXPECT_EQ(row.getSelectedIDs(), Value::list({0, 5}));
    EXPECT_EQ(row.deselectAll(), Value::emptyList());
    EXPECT_EQ(row.getSelectedIDs(), Value::emptyList());
}

TEST(LampSelectionViewTest, CheckboxWithTagFindsOnlyButtons) {
    LampSelectionView row({{0, 0}, {100, 20}});
    for (int tag : {1, 2, 4}) row.addCheckbox({}, tag);
    auto label = std::make_shared<platform::TextField>("x");
    label->setTag(3);
    row.view().addSubview(std::make_shared<platform::View>("control", platform::Rect{}, label));
    EXPECT_EQ(row.checkboxWithTag(3), nullptr);
    ASSERT_NE(row.checkboxWithTag(4), nullptr);
    EXPECT_EQ(row.checkboxWithTag(4)->control()->tag(), 4);
}

// ---- Settings window indicators ----

class CountingSource final : public SoundLevelSource {
public:
    void start() override { ++starts; }
    void stop() override { ++stops; }
    bool hasInput() const override { return input; }
    int starts = 0, stops = 0;
    bool input = true;
};

TEST(SettingsWindowControllerTest, LevelsAndMarksFollowTheSixDecibelScale) {
    platform::Slider sensitivity{-160, 0, -20};
    SettingsWindowController settings(sensitivity);
    struct {
        float level;
        double shown;
    } levels[] = {{-50, 0}, {-20, 5}, {0, 10.0 / 6 * 5}, {-80, -5} /* shown empty */, {-160, -110.0 / 6}};
    for (const auto& c : levels) {
        settings.ambientSoundIs(c.level);
        EXPECT_NEAR(settings.soundIndicator.doubleValue(), c.shown, 1e-5) << c.level;
    }
    sensitivity.setDoubleValue(-20);
    sensitivity.sendAction();
    EXPECT_FLOAT_EQ(settings.soundIndicator.criticalValue(), 5);
    EXPECT_FLOAT_EQ(settings.soundIndicator.warningValue(), 4.5);
    settings.handleControl(&settings.slSensitivity);  // another sender moves nothing
    EXPECT_FLOAT_EQ(settings.soundIndicator.criticalValue(), 5);

    settings.slSensitivity.setDoubleValue(0.5);
    settings.slSensitivity.sendAction();
    EXPECT_DOUBLE_EQ(settings.sightIndicator.criticalValue(), 3.5);
    EXPECT_DOUBLE_EQ(settings.sightIndicator.warningValue(), 3.5);
    EXPECT_DOUBLE_EQ(settings.sightIndicator.doubleValue(), 0) << "nothing reports light";
}

TEST(SettingsWindowControllerTest, MeasuresWhileMainAndSaysWhenThereIsNoMicrophone) {
    platform::Slider sensitivity{-160, 0, -30};
    SettingsWindowController settings(sensitivity);
    CountingSource listener;
    settings.setMicListener(&listener);
    settings.windowDidBecomeMain();
    EXPECT_EQ(listener.starts, 1);
    EXPECT_FLOAT_EQ(settings.soundIndicator.criticalValue(), 10.0f / 3) << "marks follow the threshold at once";
    EXPECT_EQ(settings.tfSoundStatus.stringValue(), "");
    settings.windowDidResignMain();
    EXPECT_EQ(listener.stops, 1);
    listener.input = false;
    settings.windowDidBecomeMain();
    EXPECT_EQ(settings.tfSoundStatus.stringValue(), SettingsWindowController::noInputMessage);
}

}  // namespace
