// The lamps following the desktop session, and the desktop notifications:
// the application on the simulated bridge, with logind, the session manager
// and a notification service mocked on private buses (one stands in for the
// system bus).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <QCheckBox>

#include "GuiHarness.h"
#include "bridge/BridgeBridge.h"
#include "bridge/CommandQueue.h"
#include "controller/SessionActions.h"
#include "gui/adapters/DesktopNotifications.h"
#include "gui/adapters/LogindSession.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/adapters/QtStatusItem.h"
#include "gui/adapters/SessionManagerClient.h"
#include "gui/app/GuiContext.h"
#include "gui/app/SessionFollowing.h"
#include "gui/windows/MainWindowWidget.h"
#include "gui/windows/SessionSection.h"

namespace glowmere::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    return text;
}

// A method call on the bus at `address`; gdbus's rendering of the reply.
std::string call(const std::string& address, const std::string& dest, const std::string& path,
                 const std::string& method, const std::string& arguments = "") {
    return output("timeout 10 gdbus call --address '" + address + "' --dest " + dest + " --object-path " + path +
                  " --method " + method + " " + arguments);
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A python stand-in serving `name` on the bus at `address`: a
// python-dbusmock template, or a script of the tests' own.
class MockService {
public:
    MockService(const std::string& address, const char* name, bool system, std::vector<std::string> arguments) {
        pid_ = fork();
        if (pid_ == 0) {
            setenv(system ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
            // The mock logs every call; the test asks it for them instead.
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>("python3")};
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv("/usr/bin/python3", argv.data());
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline && !up_) {
            up_ = call(address, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                       name)
                      .find("true") != std::string::npos;
            if (!up_) usleep(50000);
        }
    }
    ~MockService() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    bool up() const { return up_; }

private:
    pid_t pid_ = -1;
    bool up_ = false;
};

bool dbusmockInstalled() {
    return output("/usr/bin/python3 -c 'import dbusmock' && echo yes").find("yes") != std::string::npos;
}

// Glowmere on two lamps, following a mocked session on private buses.
class SessionTest : public GuiTest {
protected:
    void SetUp() override {
        if (!dbusmockInstalled()) GTEST_SKIP() << "python3-dbusmock is not installed (scripts/setup installs it)";
        ASSERT_FALSE(systemBus.address().empty());
        ASSERT_FALSE(sessionBus.address().empty());
        logind = std::make_unique<MockService>(
            systemBus.address(), "org.freedesktop.login1", true,
            std::vector<std::string>{"-m", "dbusmock", "--template", "logind", "--system"});
        notifier = std::make_unique<MockService>(
            sessionBus.address(), "org.freedesktop.Notifications", false,
            std::vector<std::string>{"-m", "dbusmock", "--template", "notification_daemon"});
        ASSERT_TRUE(logind->up() && notifier->up());
        logindCall("/org/freedesktop/login1", "org.freedesktop.DBus.Mock.AddSession", "c1 seat0 1000 someone true");
    }
    void start(const std::string& choices) {
        auto options = house(2, 0, true);
        options.extraDefaults = choices;
        options.adjust = [this](gui::GlowmereApp::Options& o) {
            o.followSession = true;
            o.systemBusAddress = QString::fromStdString(systemBus.address());
            o.sessionBusAddress = QString::fromStdString(sessionBus.address());
            o.logindSessionId = "c1";
        };
        t = std::make_unique<AppUnderTest>(options);
        ASSERT_TRUE(t->waitForStrips(2));
        ASSERT_TRUE(pumpUntil([this] { return holdsSleepDelay(); })) << inhibitors();
    }
    std::string logindCall(const std::string& path, const std::string& method, const std::string& arguments = "") {
        return call(systemBus.address(), "org.freedesktop.login1", path, method, arguments);
    }
    void emitManager(const char* signal, bool value) {
        logindCall(
            "/org/freedesktop/login1", "org.freedesktop.DBus.Mock.EmitSignal",
            std::string("org.freedesktop.login1.Manager ") + signal + " b '[<" + (value ? "true" : "false") + ">]'");
    }
    void setLocked(bool locked) {
        logindCall("/org/freedesktop/login1/session/c1", "org.freedesktop.login1.Session.SetLockedHint",
                   locked ? "true" : "false");
    }
    std::string inhibitors() {
        return logindCall("/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListInhibitors");
    }
    bool holdsSleepDelay() { return inhibitors().find("('sleep', 'Glowmere'") != std::string::npos; }
    std::string notifications() {
        return call(sessionBus.address(), "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                    "org.freedesktop.DBus.Mock.GetMethodCalls", "Notify");
    }
    // Each lamp's on, bri and hue on the bridge.
    std::string lampStates() {
        const json state = json::parse(t->sim().state());
        std::string text;
        for (const auto& [id, lamp] : state["lights"].items())
            text += id + ":" + lamp["state"]["on"].dump() + "," + lamp["state"]["bri"].dump() + "," +
                    lamp["state"].value("hue", json()).dump() + " ";
        return text;
    }
    std::size_t switchedOff() {
        std::size_t n = 0;
        for (const SimRequest& r : requestsTo(t->sim(), "PUT", "groups/0/action"))
            n += r.body.find("\"on\":false") != std::string::npos;
        return n;
    }
    // Moves the clock on while the paced commands go out.
    bool pumpWithClock(const std::function<bool()>& done) {
        return pumpUntil([&] {
            t->fakeClock().advance(100ms);
            return done();
        });
    }

    SessionBus systemBus, sessionBus;
    std::unique_ptr<MockService> logind, notifier;
    std::unique_ptr<AppUnderTest> t;
};

std::string entry(const char* key, const char* value) {
    return std::string("<key>") + key + "</key><string>" + value + "</string>";
}

TEST_F(SessionTest, SleepTurnsTheLampsOffBeforeLettingGoAndWakeBringsThemBack) {
    start(entry(SessionActions::beforeSleepKey, "off") + entry(SessionActions::afterWakeKey, "restore"));
    const std::string before = lampStates();
    ASSERT_NE(before.find("true"), std::string::npos) << "a lamp is on to begin with: " << before;

    // The reply is slow: the sleep must wait for it.
    t->sim().addLatency(400, 1, "groups/0/action");
    emitManager("PrepareForSleep", true);
    ASSERT_TRUE(pumpUntil([&] { return switchedOff() == 1; }));
    EXPECT_TRUE(holdsSleepDelay()) << "released while the bridge had not answered";
    ASSERT_TRUE(pumpUntil([&] { return !holdsSleepDelay(); })) << inhibitors();
    EXPECT_EQ(lampStates().find("true"), std::string::npos) << lampStates();
    EXPECT_TRUE(pumpUntil([&] {
        gui::QtStatusItem* item = t->app().statusItem();
        return item && item->trayToolTip().contains("Lamps turned off for sleep");
    }));

    emitManager("PrepareForSleep", false);
    EXPECT_TRUE(pumpWithClock([&] { return lampStates() == before; })) << lampStates() << " not " << before;
    EXPECT_TRUE(pumpUntil([&] { return holdsSleepDelay(); })) << "held again for the next sleep";
    EXPECT_TRUE(pumpUntil([&] { return count(notifications(), "Lamps restored after wake") == 1; })) << notifications();
}

TEST_F(SessionTest, TheLockRunsItsActionsAndNothingChosenSendsNothing) {
    start(entry(SessionActions::onLockKey, "off") + entry(SessionActions::onUnlockKey, "restore"));
    const std::string before = lampStates();
    setLocked(true);
    ASSERT_TRUE(pumpUntil([&] { return switchedOff() == 1; }));
    setLocked(false);
    EXPECT_TRUE(pumpWithClock([&] { return lampStates() == before; })) << lampStates() << " not " << before;

    // Sleep with nothing chosen: let go at once, and not a request.
    ASSERT_TRUE(pumpWithClock([&] { return t->app().bridge().commandQueue().idle(); }));
    const std::size_t puts = requestsTo(t->sim(), "PUT", "").size();
    emitManager("PrepareForSleep", true);
    ASSERT_TRUE(pumpUntil([&] { return !holdsSleepDelay(); })) << inhibitors();
    emitManager("PrepareForSleep", false);
    ASSERT_TRUE(pumpUntil([&] { return holdsSleepDelay(); }));
    EXPECT_EQ(requestsTo(t->sim(), "PUT", "").size(), puts);
}

TEST_F(SessionTest, TheBridgeLostAndFoundIsToldOnceEachAndTheSwitchSilencesIt) {
    start("");
    t->sim().closeWithoutReply(-1);
    for (int poll = 0; poll < 3; ++poll) t->fakeClock().advance(6s);
    ASSERT_TRUE(pumpUntil([&] { return count(notifications(), "The bridge does not answer") == 1; }))
        << notifications();
    t->sim().clearFaults();
    for (int poll = 0; poll < 3; ++poll) t->fakeClock().advance(6s);
    ASSERT_TRUE(pumpUntil([&] { return count(notifications(), "The bridge answers again") == 1; }));
    EXPECT_EQ(count(notifications(), "The bridge does not answer"), 1u) << "not once a poll";

    // Switched off in Settings: lost again, and nothing is shown.
    gui::SessionFollowing* session = t->app().sessionFollowing();
    session->section()->notificationsSwitch()->setChecked(false);
    const int sent = session->notifications().sent();
    t->sim().closeWithoutReply(-1);
    for (int poll = 0; poll < 2; ++poll) t->fakeClock().advance(6s);
    gui::MainWindowWidget* window = t->app().mainWindow().windowWidget();
    ASSERT_TRUE(pumpUntil([&] { return window->banner->isVisibleTo(window); }));
    bool flushed = false;  // what the window thread was given before this has run
    gui::postToGui([&flushed] { flushed = true; });
    ASSERT_TRUE(pumpUntil([&] { return flushed; }));
    EXPECT_EQ(session->notifications().sent(), sent);
}

// A log-out as the desktop's session manager tells it: Glowmere registers,
// agrees at once to end the session, and answers EndSession only once the
// bridge has answered what the chosen action sent; with nothing chosen it
// sends nothing and answers all the same. Stop ends it.
TEST_F(SessionTest, ALogOutIsAnsweredOnceTheLampsAreSeenTo) {
    TempDir dir;
    const std::string said = dir.path() / "manager.txt";
    MockService manager(sessionBus.address(), "org.gnome.SessionManager", false, {GLOWMERE_SESSION_MANAGER_MOCK, said});
    ASSERT_TRUE(manager.up());
    auto told = [&said] { return output("cat " + said); };
    auto ask = [this](const char* method) {
        call(sessionBus.address(), "org.gnome.SessionManager", "/org/gnome/SessionManager",
             std::string("org.glowmere.TestSessionManager.") + method);
    };
    start("");
    EXPECT_TRUE(t->app().sessionFollowing()->sessionManager().registered());
    EXPECT_NE(told().find("RegisterClient org.glowmere.Glowmere ''"), std::string::npos) << told();
    const std::string answer = "EndSessionResponse True ''";
    struct Case {
        const char* choice;
        std::size_t switchedOff;
    } cases[] = {{"nothing", 0}, {"off", 1}};
    std::size_t answers = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        t->app().defaults().setObject(SessionActions::onLogoutKey, std::string(c.choice));
        ASSERT_TRUE(pumpWithClock([&] { return t->app().bridge().commandQueue().idle(); }));
        const std::size_t puts = requestsTo(t->sim(), "PUT", "").size();
        t->sim().addLatency(400, 1, "groups/0/action");
        ask("Logout");
        answers += 2;  // to QueryEndSession, then to EndSession
        if (c.switchedOff) {
            ASSERT_TRUE(pumpUntil([&] { return switchedOff() == c.switchedOff; }));
            EXPECT_EQ(count(told(), answer), answers - 1) << "answered while the bridge had not";
        }
        ASSERT_TRUE(pumpUntil([&] { return count(told(), answer) == answers; })) << told();
        EXPECT_EQ(requestsTo(t->sim(), "PUT", "").size(), puts + c.switchedOff);
        if (c.switchedOff) {
            EXPECT_EQ(lampStates().find("true"), std::string::npos) << lampStates();
        }
    }
    EXPECT_FALSE(t->app().quitRequested()) << "the session ended, but Glowmere is not told to stop yet";
    ask("Stop");
    EXPECT_TRUE(pumpUntil([&] { return t->app().quitRequested(); }));
}

}  // namespace
}  // namespace glowmere::testing
