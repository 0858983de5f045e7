#include <QAbstractSlider>
#include <QAccessible>
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>

#include "GuiHarness.h"
#include "gui/adapters/QtAudioInput.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/widgets/ViewWidgets.h"
#include "gui/windows/CommandBar.h"

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
        {CommandBar::Command::MakeGroup, "Make group", true},
        {CommandBar::Command::RemoveGroup, "Remove group", true},
        {CommandBar::Command::SearchForNewBulbs, "Search for new bulbs", true},
        {CommandBar::Command::Listen, "Listen", gui::QtAudioInput::hasInput()},  // waits for a microphone
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

// Every strip control is named after the strip's full name and what it is;
// a lamp shows only the controls it can use. The demo house has a colour
// lamp, a white one ("Hall") and one of adjustable warmth ("Reading lamp").
TEST_F(AccessibilityTest, EveryStripControlIsNamedAfterItsStripAndWhatItIs) {
    auto options = house(0, 0);
    options.bridge.demo = true;
    options.extraDefaults = "<key>makeAllGroup</key><true/>";
    AppUnderTest t(options);
    ASSERT_TRUE(pumpUntil([&] { return t.stripCount() > 6 && t.stripWidget(t.stripCount() - 1); }, 15000));
    struct Expected {
        QString strip;
        QStringList shown;   // suffixes of the visible, named controls
        QStringList hidden;  // controls the lamp cannot use
    };
    const QStringList all = {"on", "brightness", "colour", "saturation", "rename", "fade out"};
    const Expected expected[] = {
        {"Living room", all, {"colour temperature"}},
        {"Hall", {"on", "brightness", "rename", "fade out"}, {"colour", "saturation", "colour temperature"}},
        {"Reading lamp", {"on", "brightness", "colour temperature", "rename", "fade out"}, {"colour", "saturation"}},
        {"Downstairs", all, {}},
        {"All", all, {}},
    };
    for (const Expected& e : expected) {
        gui::StripViewWidget* strip = nullptr;
        for (std::size_t i = 0; i < t.stripCount() && !strip; ++i)
            if (t.stripWidget(i)->name() == e.strip) strip = t.stripWidget(i);
        ASSERT_TRUE(strip) << e.strip.toStdString();
        t.app().mainWindow().widget()->show();
        for (const QString& suffix : e.shown + e.hidden) {
            QWidget* control = nullptr;
            ASSERT_TRUE(pumpUntil([&] {
                for (QWidget* w : strip->findChildren<QWidget*>())
                    if (w->accessibleName() == e.strip + " " + suffix) control = w;
                return control != nullptr;
            })) << (e.strip + " " + suffix).toStdString();
            QAccessibleInterface* access = QAccessible::queryAccessibleInterface(control);
            ASSERT_TRUE(access);
            EXPECT_EQ(access->text(QAccessible::Name), e.strip + " " + suffix);
            EXPECT_EQ(control->isVisibleTo(strip), e.shown.contains(suffix)) << (e.strip + " " + suffix).toStdString();
            EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << (e.strip + " " + suffix).toStdString();
            if (qobject_cast<QAbstractSlider*>(control)) {
                // Sliders tell assistive technology their value.
                ASSERT_TRUE(access->valueInterface());
                EXPECT_EQ(access->valueInterface()->currentValue().toInt(),
                          qobject_cast<QAbstractSlider*>(control)->value());
            }
        }
    }
}

}  // namespace
}  // namespace glowmere::testing
