#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "GuiHarness.h"
#include "controller/ManualController.h"
#include "gui/adapters/QtStatusItem.h"
#include "gui/app/ToolWindows.h"
#include "gui/windows/SchedulesWindow.h"
#include "platform/DefaultsStore.h"

namespace glowmere::testing {
namespace {

using QuitTest = GuiTest;

const char* const fiveSettings[] = {"listenerSensitivity", "listenerOnPeriod", "soundTriggerDelay",
                                    "soundTriggerPreset", "makeAllGroup"};

TEST_F(QuitTest, SigtermTakesTheQuitPathAndStoresTheFiveSettings) {
    SimulatedBridge sim(bridgeWith(2, 1));
    TempDir dir;
    writeProfile(dir.path(), sim.address(), sim.user());
    const pid_t pid = launch(dir.path());
    ASSERT_GE(pid, 0);
    ASSERT_TRUE(waitUntilUp(sim)) << "glowmere did not start";

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by the signal instead of quitting";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    platform::DefaultsStore stored(dir.path());
    for (const char* key : fiveSettings) EXPECT_TRUE(stored.hasStoredObject(key)) << key;
    EXPECT_FALSE(stored.boolForKey("makeAllGroup"));
    EXPECT_EQ(stored.stringForKey("listenerOnPeriod"), "5");
}

TEST_F(QuitTest, TheMenusQuitStoresTheSettingsOnce) {
    AppUnderTest t(house(1, 0));
    ASSERT_TRUE(t.waitForStrips(1));
    auto* item = t.app().statusItem();
    ASSERT_TRUE(item);
    ASSERT_TRUE(pumpUntil([&] { return item->shownMenu() && !item->shownMenu()->actions().isEmpty(); }));
    QStringList titles;
    for (QAction* a : item->shownMenu()->actions()) titles << a->text();
    EXPECT_TRUE(titles.contains("Turn all on")) << titles.join("|").toStdString();
    EXPECT_TRUE(titles.contains("Turn all off"));
    EXPECT_TRUE(titles.contains("Show manual control"));

    t.app().requestQuit();
    t.app().requestQuit();  // a second request quits at once, storing nothing twice
    ASSERT_TRUE(pumpUntil([&] { return t.app().settingsSaved(); }));
    platform::DefaultsStore stored(t.profile());
    for (const char* key : fiveSettings) EXPECT_TRUE(stored.hasStoredObject(key)) << key;
}

TEST_F(QuitTest, ASecondLaunchWithTheSameProfileShowsTheFirstWindowAndExits) {
    SessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon";
    SimulatedBridge sim(bridgeWith(1, 0));
    TempDir dir, other;
    writeProfile(dir.path(), sim.address(), sim.user());
    writeProfile(other.path(), sim.address(), sim.user());
    const pid_t first = launch(dir.path(), bus.address(), dir.path() / "first.log");
    ASSERT_GE(first, 0);
    ASSERT_TRUE(waitUntilUp(sim)) << "glowmere did not start";

    const auto started = std::chrono::steady_clock::now();
    const pid_t second = launch(dir.path(), bus.address());
    int status = -1;
    ASSERT_EQ(waitpid(second, &status, 0), second);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::printf("second launch ended after %lld ms\n", static_cast<long long>(ms));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first instance ended";

    // Another profile is another household: it runs beside the first.
    const pid_t beside = launch(other.path(), bus.address());
    EXPECT_TRUE(waitUntilUp(sim, 2)) << "a launch with another profile did not start";
    EXPECT_EQ(waitpid(beside, nullptr, WNOHANG), 0);

    for (pid_t pid : {first, beside}) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
    }
    std::ifstream log(dir.path() / "first.log");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("showing the main window for another launch"), std::string::npos) << text;
}

// glowmerectl adds a schedule item while the application runs: the
// application shows it, and its quit stores its own items without writing
// the new one away.
TEST_F(QuitTest, AnItemGlowmerectlAddedWhileRunningSurvivesTheQuit) {
    AppUnderTest t(house(1, 0));
    ASSERT_TRUE(t.waitForStrips(1));
    const std::string add = std::string(GLOWMERE_CTL_PATH) + " --profile '" + t.profile().string() +
                            "' schedule-add --name FromCtl --kind on --lamp 1 --on 07:00 >/dev/null 2>&1";
    ASSERT_EQ(std::system(add.c_str()), 0);
    // The running application takes it into its list within a second or so.
    auto shown = [&] {
        std::size_t count = 0;
        t.onController([&] { count = t.app().scheduleManager().collection().size(); });
        return count;
    };
    EXPECT_TRUE(pumpUntil([&] { return shown() == 1; }));
    t.app().requestQuit();
    ASSERT_TRUE(pumpUntil([&] { return t.app().settingsSaved(); }));
    const Value items = platform::DefaultsStore(t.profile()).objectForKey("GlowmereController actions");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items.at(0)["name"].textValue(), "FromCtl");
    EXPECT_EQ(items.at(0)["bridgeID"].size(), 1u);
}

// Runs the application's event loop until it ends, as main() does: its exit
// code, or -1 when it was still running after five seconds.
int runQtLoopAfter(const std::function<void()>& start) {
    QTimer::singleShot(0, start);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    watchdog.start(5000);
    return QCoreApplication::exec();
}

// Quitting with Delete All's question open closes it unanswered: nothing is
// deleted, and the quit ends the run. A second quit ends it too.
TEST_F(QuitTest, QuittingWithAQuestionOpenCarriesOutNothing) {
    AppUnderTest t(house(1, 0, true));
    ASSERT_TRUE(t.waitForStrips(1));
    t.sim().userRequest("POST", "schedules",
                        R"({"name":"Wake","time":"W127/T06:30:00","command":{"method":"PUT",)"
                        R"("address":"/api/testuser/lights/1/state","body":{"on":true}}})");
    auto& window = t.app().tools().schedulesWindow();
    window.showWindow();
    ASSERT_TRUE(pumpUntil([&] { return window.isVisible(); }));
    QTest::mouseClick(window.button("Delete All…"), Qt::LeftButton);
    auto question = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); };
    ASSERT_TRUE(pumpUntil([&] { return question() != nullptr; }));
    EXPECT_EQ(question()->text(), "Delete all schedules from the bridge?");

    EXPECT_EQ(runQtLoopAfter([&] { t.app().requestQuit(); }), 0) << "the quit did not end the run";
    EXPECT_EQ(runQtLoopAfter([&] { t.app().requestQuit(); }), 0) << "a second quit did not end the run";
    EXPECT_TRUE(pumpUntil([&] { return !question(); }));
    EXPECT_TRUE(t.app().shutDown());
    EXPECT_TRUE(requestsTo(t.sim(), "DELETE", "/schedules").empty());
    EXPECT_NE(t.sim().state().find("Wake"), std::string::npos);
}

// A profile that cannot be written: the application says so once, in a
// window of its own, however many saves fail.
TEST_F(QuitTest, AFailedSaveIsShownOnce) {
    AppUnderTest t(house(1, 0));
    ASSERT_TRUE(t.waitForStrips(1));
    // A directory where the lock file belongs stops every writer, root too.
    const auto lock = t.app().defaults().lockPath();
    std::filesystem::remove(lock);
    std::filesystem::create_directory(lock);
    bool saved = true;
    t.onController([&] {
        saved = t.app().defaults().setObject("makeAllGroup", true);
        t.app().defaults().setObject("makeAllGroup", false);
    });
    EXPECT_FALSE(saved);
    auto notices = [] {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "saveFailure" && w->isVisible()) ++count;
        return count;
    };
    EXPECT_TRUE(pumpUntil([&] { return notices() == 1; }));
    QApplication::processEvents();
    EXPECT_EQ(notices(), 1);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "saveFailure") w->close();
    std::filesystem::remove(lock);
}

}  // namespace
}  // namespace glowmere::testing
