#include <QAccessible>
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>

#include "GuiHarness.h"
#include "gui/CommandBar.h"
#include "gui/QtMainWindow.h"

namespace glowmere::testing {
namespace {

using AccessibilityTest = GuiTest;
using gui::CommandBar;

// Screen readers and scripts find the controls by these names: a renamed
// control fails here.
TEST_F(AccessibilityTest, TheCommandBarsButtonsAndMenuCarryTheirNames) {
    AppUnderTest t(house(2, 0));
    ASSERT_TRUE(t.waitForStrips(2));
    CommandBar& bar = t.app().mainWindow().commandBar();
    struct Expected {
        CommandBar::Command command;
        const char* name;
        bool enabledAtStart;  // the others wait for their features
    };
    const Expected expected[] = {
        {CommandBar::Command::Presets, "Presets", true},
        {CommandBar::Command::MakeGroup, "Make group", false},
        {CommandBar::Command::RemoveGroup, "Remove group", false},
        {CommandBar::Command::SearchForNewBulbs, "Search for new bulbs", false},
        {CommandBar::Command::Listen, "Listen", true},
        {CommandBar::Command::Schedules, "Schedules", true},
        {CommandBar::Command::Explorer, "Explorer", true},
        {CommandBar::Command::Settings, "Settings", true},
    };
    QStringList menuTitles;
    for (QAction* a : bar.menu()->actions())
        if (!a->isSeparator()) menuTitles << a->text();
    for (const Expected& e : expected) {
        QAction* action = bar.action(e.command);
        ASSERT_TRUE(action) << e.name;
        QWidget* button = bar.toolBar()->widgetForAction(action);
        ASSERT_TRUE(button) << e.name;
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(button);
        ASSERT_TRUE(access) << e.name;
        EXPECT_EQ(access->text(QAccessible::Name), e.name);
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << e.name;
        EXPECT_TRUE(menuTitles.contains(e.name)) << e.name;
        EXPECT_EQ(action->isEnabled(), e.enabledAtStart) << e.name;
    }
}

}  // namespace
}  // namespace glowmere::testing
