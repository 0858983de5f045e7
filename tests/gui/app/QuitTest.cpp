#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMenu>
#include <chrono>
#include <thread>

#include "GuiHarness.h"
#include "controller/ManualController.h"
#include "gui/QtStatusItem.h"
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
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(GLOWMERE_GUI_PATH, GLOWMERE_GUI_PATH, "--profile", dir.path().c_str(), nullptr);
        _exit(127);
    }
    // Up once it has read the lamps (and so built its strips).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (requestsTo(sim, "GET", "/groups").empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(requestsTo(sim, "GET", "/groups").empty()) << "glowmere did not start";

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
    t.app().requestQuit();  // a second signal while quitting changes nothing
    ASSERT_TRUE(pumpUntil([&] { return t.app().settingsSaved(); }));
    platform::DefaultsStore stored(t.profile());
    for (const char* key : fiveSettings) EXPECT_TRUE(stored.hasStoredObject(key)) << key;
}

}  // namespace
}  // namespace glowmere::testing
