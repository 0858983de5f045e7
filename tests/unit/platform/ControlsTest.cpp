#include "platform/Controls.h"

#include <gtest/gtest.h>

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
    EXPECT_FALSE(popUp.selectItemAtIndex(1));               // a separator
    EXPECT_TRUE(popUp.selectItemWithTag(0));
    EXPECT_EQ(*popUp.indexOfSelectedItem(), 0u);  // the first item with the tag
    popUp.removeAllItems();
    EXPECT_FALSE(popUp.indexOfSelectedItem());
}

}  // namespace
