#include "platform/Controls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/LevelMeter.h"

using namespace glowmere::platform;

namespace {

TEST(Controls, ChangesReachTheObserverAndActionsTheTarget) {
    Slider slider(0, 255, 10);
    int observed = 0;
    Control* actedOn = nullptr;
    slider.setObserver([&](Control*) { ++observed; });
    slider.setAction([&](Control* sender) { actedOn = sender; });
    slider.setDoubleValue(300);  // clamped to the range
    EXPECT_EQ(slider.doubleValue(), 255);
    EXPECT_EQ(observed, 1);
    EXPECT_EQ(actedOn, nullptr);  // setting a value never acts by itself
    slider.sendAction();
    EXPECT_EQ(actedOn, &slider);
}

TEST(Controls, PopUpSelectionSkipsSeparatorsAndUnknownItems) {
    PopUpButton popUp;
    EXPECT_FALSE(popUp.selectedItem());
    popUp.addItem("lamp: Hall", 0);
    popUp.addSeparator();
    popUp.addItem("group: All", 0);
    popUp.addItem("group: Den", 1);
    EXPECT_EQ(popUp.selectedItem()->title, "lamp: Hall");  // the first item is selected on adding
    EXPECT_TRUE(popUp.selectItemWithTitle("group: Den"));
    EXPECT_EQ(popUp.selectedItem()->tag, 1);
    EXPECT_FALSE(popUp.selectItemWithTitle("group: Nowhere"));
    EXPECT_EQ(popUp.selectedItem()->title, "group: Den");  // a title no item has selects nothing new
    EXPECT_FALSE(popUp.selectItemAtIndex(1));              // a separator
    EXPECT_TRUE(popUp.selectItemWithTag(0));
    EXPECT_EQ(*popUp.indexOfSelectedItem(), 0u);  // the first item with the tag
    popUp.removeAllItems();
    EXPECT_FALSE(popUp.indexOfSelectedItem());
}

}  // namespace

// ---- Level meter ----

TEST(LevelMeterTest, AveragePowerPerChannelInDecibelsOfFullScale) {
    constexpr double pi = 3.14159265358979323846;
    LevelMeter meter(2);
    // Left: a sine of amplitude 0.5; right: a full-scale square wave.
    std::vector<float> stereo;
    for (int i = 0; i < 4410; ++i) {
        stereo.push_back(static_cast<float>(0.5 * std::sin(2 * pi * 1000 * i / 44100.0)));
        stereo.push_back(i % 2 ? 1.0f : -1.0f);
    }
    // Split in the middle of a frame: the channels must not swap.
    meter.addSamples(stereo.data(), 3);
    meter.addSamples(stereo.data() + 3, stereo.size() - 3);
    meter.update();
    EXPECT_NEAR(meter.averagePower(0), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.05);
    EXPECT_NEAR(meter.averagePower(1), 0, 0.001);
    EXPECT_EQ(meter.averagePower(2), LevelMeter::silence) << "a channel the input lacks";

    meter.update();
    EXPECT_EQ(meter.averagePower(1), LevelMeter::silence) << "nothing arrived since";

    std::vector<std::int16_t> quiet(200, 0);
    meter.addSamples(quiet.data(), quiet.size());
    std::vector<std::uint8_t> mid(200, 128);
    meter.addSamples(mid.data(), mid.size());
    meter.update();
    EXPECT_EQ(meter.averagePower(0), LevelMeter::silence);

    std::vector<std::int16_t> loud(400, -32768);
    meter.addSamples(loud.data(), loud.size());
    meter.update();
    EXPECT_NEAR(meter.averagePower(1), 0, 0.001);
}
