#include <QMainWindow>
#include <QToolBar>
#include <algorithm>

#include "GuiHarness.h"
#include "controller/ManualController.h"
#include "controls/LampControlStrip.h"
#include "gui/MainWindowWidget.h"
#include "gui/QtMainWindow.h"
#include "gui/ViewWidgets.h"
#include "platform/Log.h"

namespace glowmere::testing {
namespace {

using StartUpTest = GuiTest;

TEST_F(StartUpTest, ThreeLampsAndTwoGroupsGiveFiveStripsWithTheirTagsPlacesAndWindowWidth) {
    AppUnderTest t(house(3, 2));
    ASSERT_TRUE(t.waitForStrips(5));

    struct Expected {
        std::string id;
        bool group;
        int tag;
        QString label;
    };
    const Expected expected[] = {
        {"1", false, 0, "Hall"},      {"2", false, 1, "Küche"},   {"3", false, 2, "Living room"},
        {"1", true, 1, "Downstairs"}, {"2", true, 2, "Upstairs"},
    };
    t.onController([&] {
        const auto& collection = t.app().manualController().collection();
        ASSERT_EQ(collection.size(), 5u);
        for (std::size_t k = 0; k < 5; ++k) {
            EXPECT_EQ(collection[k]->getID(), expected[k].id) << k;
            EXPECT_EQ(collection[k]->isGroup(), expected[k].group) << k;
            EXPECT_EQ(collection[k]->tag(), expected[k].tag) << k;
        }
    });
    // On screen: side by side, 95 apart from x = 20, 20 below the top of the
    // 478-point-high content (the layout's y = 20 measured from the bottom).
    for (std::size_t k = 0; k < 5; ++k) {
        auto* strip = t.stripWidget(k);
        ASSERT_TRUE(strip);
        ASSERT_TRUE(pumpUntil([&] { return strip->pos() == QPoint(20 + 95 * int(k), 20); }, 3000))
            << "strip " << k << " at " << strip->x() << "," << strip->y();
        EXPECT_EQ(strip->size(), QSize(95, 438));
        EXPECT_EQ(t.labelText(k), expected[k].label) << k;
    }
    // x ends at 20 + 5 * 95 = 495; the window is x + 156 wide, or as wide as
    // its command bar where that is wider.
    QMainWindow* window = t.app().mainWindow().widget();
    const int wide = std::max(651, window->findChild<QToolBar*>()->sizeHint().width());
    ASSERT_TRUE(pumpUntil([&] { return window->width() == wide; }, 3000)) << window->width();
    EXPECT_EQ(t.app().mainWindow().frame().size.width, 651);
    EXPECT_FALSE(t.app().mainWindow().throbberSpinning());
}

TEST_F(StartUpTest, AnUnreachableBridgeIsAskedAgainEveryThreeSecondsUntilItAnswers) {
    platform::LogCapture log;
    // The bridge drops every request until the test lets it answer.
    auto options = house(2, 0, true);
    options.beforeStart = [](SimulatedBridge& sim) { sim.closeWithoutReply(-1); };
    AppUnderTest t(options);
    const char* message = "No lights found, trying again in 3s";
    ASSERT_TRUE(pumpUntil([&] { return log.count(message) == 1; }));
    EXPECT_TRUE(pumpUntil([&] { return t.app().mainWindow().throbberSpinning(); }));
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    const QString unreachable =
        QString("Bridge not reachable at %1.\nGlowmere keeps trying.").arg(t.sim().address().c_str());
    EXPECT_TRUE(pumpUntil([&] { return window->emptyText->text() == unreachable; }))
        << window->emptyText->text().toStdString();
    EXPECT_TRUE(window->emptyState->isVisibleTo(window));
    EXPECT_FALSE(window->emptySearchButton->isVisibleTo(window)) << "not the no-lamps state";
    for (std::size_t attempt = 2; attempt <= 4; ++attempt) {
        t.fakeClock().advance(std::chrono::milliseconds(2900));
        pumpUntil([] { return false; }, 100);
        EXPECT_EQ(log.count(message), attempt - 1) << "not before three seconds";
        t.fakeClock().advance(std::chrono::milliseconds(100));
        ASSERT_TRUE(pumpUntil([&] { return log.count(message) == attempt; }, 5000)) << attempt;
        EXPECT_EQ(t.stripCount(), 0u);
    }
    t.sim().clearFaults();
    t.fakeClock().advance(std::chrono::seconds(3));
    ASSERT_TRUE(t.waitForStrips(2));
    EXPECT_TRUE(pumpUntil([&] { return !window->emptyState->isVisibleTo(window); }));
    const auto failures = log.count(message);
    t.fakeClock().advance(std::chrono::seconds(7));
    EXPECT_EQ(log.count(message), failures) << "no more retries once the lamps are there";
    EXPECT_FALSE(t.app().mainWindow().throbberSpinning());
    int loops = 0;
    t.onController([&] { loops = t.app().manualController().pollingLoopsStarted(); });
    EXPECT_EQ(loops, 1);
}

}  // namespace
}  // namespace glowmere::testing
