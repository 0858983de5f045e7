#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <algorithm>
#include <fstream>

#include "GuiHarness.h"
#include "controller/ManualController.h"
#include "controls/LampControlStrip.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/ViewWidgets.h"
#include "gui/windows/AddressDialog.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/MainWindowWidget.h"
#include "gui/windows/SettingsWindow.h"
#include "platform/LocalSearch.h"
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
    // The banner offers another address; the bridge's commands wait.
    EXPECT_TRUE(window->bannerAddressButton->isVisibleTo(window));
    EXPECT_EQ(window->bannerAddressButton->accessibleName(), "Enter address…");
    EXPECT_EQ(window->commandBar->action(gui::CommandBar::Command::Explorer)->toolTip(),
              "Explorer needs the bridge, which does not answer");
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

// The real search over loopback UDP, waiting a tenth of the time.
class QuickSearch final : public platform::LocalSearch {
public:
    std::vector<platform::LocalSearchReply> search(const std::string& target, std::chrono::milliseconds) override {
        return real_.search(target, std::chrono::milliseconds(300));
    }

private:
    platform::SsdpSearch real_;
};

TEST_F(StartUpTest, AFreshInstallFindsTheBridgeOnTheLocalNetwork) {
    QuickSearch search;
    auto options = house(2, 0);
    options.bridge.ssdp = "127.0.0.1:0";
    int port = 0;
    options.beforeStart = [&](SimulatedBridge& sim) { port = sim.ssdpPort(); };
    options.adjust = [&](gui::GlowmereApp::Options& app) {
        app.localSearch = &search;
        // No address stored, no portal: only the search can find it.
        std::ofstream(app.profile / "defaults.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            << "<key>username</key><string>testuser</string>\n"
            << "<key>ssdpAddress</key><string>127.0.0.1:" << port << "</string>\n</dict>\n</plist>\n";
    };
    AppUnderTest t(options);
    ASSERT_TRUE(t.waitForStrips(2));
    EXPECT_EQ(platform::DefaultsStore(t.profile()).stringForKey("lastusedbridgeIP"), t.sim().address());

    // Two bridges on one network: Find bridge offers both, and the one
    // chosen is used at once. The loopback broadcast address reaches both
    // and nothing beyond this machine.
    auto grouped = bridgeWith(3, 0);
    grouped.ssdp = "127.255.255.255:0";
    SimulatedBridge first(grouped);
    grouped.ssdp = "127.255.255.255:" + std::to_string(first.ssdpPort());
    grouped.lamps = 4;
    SimulatedBridge second(grouped);
    gui::SettingsWindow& settings = t.app().settingsWindow();
    std::vector<std::string> offered;
    t.onController([&] {
        t.app().defaults().setObject("ssdpAddress", grouped.ssdp);
        settings.findBridge().sendAction();
        for (const auto& item : settings.foundBridges().items()) offered.push_back(item.title);
        EXPECT_FALSE(settings.foundBridges().isHidden());
    });
    std::sort(offered.begin() + 1, offered.end());
    std::vector<std::string> both{first.address(), second.address()};
    std::sort(both.begin(), both.end());
    both.insert(both.begin(), "Choose a bridge…");
    EXPECT_EQ(offered, both);
    t.onController([&] {
        settings.foundBridges().selectItemWithTitle(second.address());
        settings.foundBridges().sendAction();
    });
    ASSERT_TRUE(t.waitForStrips(4));
    EXPECT_EQ(platform::DefaultsStore(t.profile()).stringForKey("lastusedbridgeIP"), second.address());
}

// A fresh install where nothing answers the search: the window says what it
// asks, says after one round that it found no bridge, and takes an address
// typed in, which pairs through the link button.
TEST_F(StartUpTest, AFreshInstallThatFindsNoBridgeSaysSoAndPairsWithATypedAddress) {
    platform::LogCapture log;
    QuickSearch search;
    auto options = house(2, 0, true);
    options.bridge.user = "";  // not paired yet
    options.beforeStart = [](SimulatedBridge& sim) { sim.pressLinkButton(); };
    options.adjust = [&](gui::GlowmereApp::Options& app) {
        app.localSearch = &search;
        // No address, no portal; the search asks a loopback port where
        // nobody answers.
        std::ofstream(app.profile / "defaults.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            << "<key>ssdpAddress</key><string>127.0.0.1:1</string>\n</dict>\n</plist>\n";
    };
    AppUnderTest t(options);
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    QAction* makeGroup = window->commandBar->action(gui::CommandBar::Command::MakeGroup);
    auto shows = [&](QWidget* w) { return w->isVisibleTo(window); };

    ASSERT_TRUE(pumpUntil([&] { return window->emptyDetail->text() == "Searching this network (127.0.0.1:1)…"; }))
        << window->emptyDetail->text().toStdString();
    EXPECT_EQ(window->emptyText->text(), "Looking for your bridge…");
    EXPECT_FALSE(makeGroup->isEnabled());
    EXPECT_EQ(makeGroup->toolTip(), "Make group needs a bridge; none has been found yet");

    // One round: set-up's tries at 0, 3 and 6 s keep looking; the one at 9 s
    // says nothing was found (and searches again all the same).
    std::size_t tries = 0;
    auto oneRound = [&] {
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(pumpUntil([&] { return log.count(ManualController::noLightsMessage) > tries; }));
            tries = log.count(ManualController::noLightsMessage);
            t.onController([] {});  // the try has scheduled the next one
            EXPECT_FALSE(shows(window->searchAgainButton)) << "after " << i * 3 << " s";
            t.fakeClock().advance(std::chrono::seconds(3));
        }
        ASSERT_TRUE(pumpUntil([&] { return shows(window->searchAgainButton); }));
    };
    oneRound();
    EXPECT_EQ(window->emptyText->text(), "No bridge found on this network");
    EXPECT_TRUE(window->emptyDetail->text().startsWith("Check that the bridge"))
        << window->emptyDetail->text().toStdString();
    EXPECT_TRUE(shows(window->enterAddressButton));
    EXPECT_TRUE(pumpUntil([&] { return !t.app().mainWindow().throbberSpinning(); })) << "nothing spins";
    EXPECT_EQ(window->searchAgainButton->accessibleName(), "Search again");
    EXPECT_EQ(window->enterAddressButton->accessibleName(), "Enter address…");
    EXPECT_FALSE(makeGroup->isEnabled());

    // Search again: looking once more, for another whole round.
    tries = log.count(ManualController::noLightsMessage);
    window->searchAgainButton->click();
    EXPECT_TRUE(pumpUntil([&] { return window->emptyText->text() == "Looking for your bridge…"; }));
    EXPECT_FALSE(shows(window->enterAddressButton));
    oneRound();

    // An address typed in: a bad one is refused with the reason, the
    // simulator's is taken, and pairing (its link button was pressed) builds
    // the strips.
    window->enterAddressButton->click();
    gui::AddressDialog& dialog = t.app().addressDialog();
    ASSERT_TRUE(dialog.isVisible());
    auto connectTo = [&](const QString& text) {
        dialog.field()->setText(text);
        dialog.connectButton()->click();
        return pumpUntil([&] { return dialog.field()->isEnabled() || !dialog.isVisible(); });
    };
    ASSERT_TRUE(connectTo("not an address!"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.status()->text(), "\"not an address!\" is not a host name or host:port");
    ASSERT_TRUE(connectTo(QString::fromStdString(t.sim().address())));
    EXPECT_FALSE(dialog.isVisible()) << dialog.status()->text().toStdString();
    // Login waits on the test's clock after its attempt: only widgets are
    // asked meanwhile.
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "POST", "/api").empty(); }));
    for (int i = 0; i < 20 && !makeGroup->isEnabled(); ++i) {
        t.fakeClock().advance(std::chrono::milliseconds(2500));
        pumpUntil([&] { return makeGroup->isEnabled(); }, 50);
    }
    ASSERT_TRUE(t.waitForStrips(2));
    EXPECT_EQ(makeGroup->toolTip(), "Make group");
    platform::DefaultsStore stored(t.profile());
    EXPECT_FALSE(stored.stringForKey("username").empty());
    EXPECT_EQ(stored.stringForKey("lastusedbridgeIP"), t.sim().address());
}

// What no bridge answers shows in the window within one polling cycle: the
// banner, and the reason in the status line; a change the bridge did not
// take says so there too.
TEST_F(StartUpTest, RepliesThatAreNoBridgesShowInTheWindow) {
    AppUnderTest t(house(2, 0, true));
    ASSERT_TRUE(t.waitForStrips(2));
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    const struct {
        const char* what;
        std::function<void(SimulatedBridge&)> fault;
        const char* reason;
    } cases[] = {
        {"HTML 404 page", [](SimulatedBridge& s) { s.statusPage(404, -1, "lights"); }, "answered HTTP 404"},
        {"a 9 MB reply", [](SimulatedBridge& s) { s.oversizedReply(-1, "lights"); }, "cut off"},
        {"a reply that never ends", [](SimulatedBridge& s) { s.endlessReply(-1, "lights"); }, "cut off"},
        {"1001 lamps", [](SimulatedBridge& s) { s.longList(1001, -1, "lights"); }, "more members"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.fault(t.sim());
        t.fakeClock().advance(std::chrono::seconds(6));
        EXPECT_TRUE(pumpUntil([&] { return window->statusBar()->currentMessage().contains(c.reason); }))
            << window->statusBar()->currentMessage().toStdString();
        EXPECT_TRUE(window->statusBar()->currentMessage().startsWith("Could not read the lamps: the bridge at "));
        EXPECT_TRUE(window->banner->isVisibleTo(window));
        t.sim().clearFaults();
        t.fakeClock().advance(std::chrono::seconds(6));
        EXPECT_TRUE(pumpUntil([&] { return !window->banner->isVisibleTo(window); }));
    }
    t.sim().errorPage(-1, "lights/1/state");
    QTest::mouseClick(t.onOffSwitch(0), Qt::LeftButton);
    EXPECT_TRUE(pumpUntil([&] {
        // Named as its strip names it.
        return window->statusBar()->currentMessage().startsWith("The change did not reach " + t.labelText(0) + ": ") &&
               window->statusBar()->currentMessage().contains("answered HTTP 500");
    })) << window->statusBar()->currentMessage().toStdString();
}

}  // namespace
}  // namespace glowmere::testing
