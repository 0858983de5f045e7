#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <QString>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/app/GlowmereApp.h"
#include "platform/Clock.h"
#include "support/SimulatedBridge.h"
#include "support/TempDir.h"

class QWidget;

namespace glowmere {
class LampControlStrip;
}

namespace glowmere::gui {
class StripSlider;
class StripViewWidget;
class ToggleSwitch;
}  // namespace glowmere::gui

namespace glowmere::testing {

// One QApplication for the whole test program, on the offscreen platform.
void ensureQtApplication();

// The local zone for the length of a test.
class ZoneForTest {
public:
    explicit ZoneForTest(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
    }
    ~ZoneForTest() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
    }

private:
    std::optional<std::string> old_;
};

// Processes Qt events until `done` answers true; false after `timeoutMs` of
// real time. For work that crosses threads and the network, never a fixed
// sleep.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// A profile whose defaults point at `address`, already paired as `user`.
void writeProfile(const std::filesystem::path& dir, const std::string& address, const std::string& user,
                  const std::string& extraEntries = "");

// The requests of `method` whose path contains `part`.
std::vector<SimRequest> requestsTo(SimulatedBridge& sim, const std::string& method, const std::string& part);

// Glowmere on a simulated bridge, with the clock the test chooses.
class AppUnderTest {
public:
    struct Options {
        SimulatedBridge::Options bridge;
        bool fakeClock = false;
        std::string extraDefaults;
        // Runs once the bridge is up, before Glowmere starts (faults, say).
        std::function<void(SimulatedBridge&)> beforeStart;
        // Changes the application's options before it is made.
        std::function<void(gui::GlowmereApp::Options&)> adjust;
    };
    explicit AppUnderTest(Options options);
    ~AppUnderTest();

    gui::GlowmereApp& app() { return *app_; }
    SimulatedBridge& sim() { return *sim_; }
    platform::FakeClock& fakeClock() { return *fakeClock_; }
    const std::filesystem::path& profile() const { return dir_.path(); }

    // Runs `work` on the controller thread and waits for it.
    void onController(const std::function<void()>& work);
    // Waits until set-up built the strips and the widgets show them.
    bool waitForStrips(std::size_t count, int timeoutMs = 15000);
    std::size_t stripCount();

    // The widgets of the strip at `index` of the collection.
    gui::StripViewWidget* stripWidget(std::size_t index);
    gui::StripSlider* slider(std::size_t index, int tag);
    gui::ToggleSwitch* onOffSwitch(std::size_t index);
    QString labelText(std::size_t index);

private:
    TempDir dir_;
    std::unique_ptr<SimulatedBridge> sim_;
    std::unique_ptr<platform::FakeClock> fakeClock_;
    std::unique_ptr<gui::GlowmereApp> app_;
};

// The real program as a user starts it: its own process, offscreen, on
// `profile`, talking to the session bus at `busAddress` (none when empty),
// its standard error in `log` when given, with `environment` added.
pid_t launch(const std::filesystem::path& profile, const std::string& busAddress = "",
             const std::filesystem::path& log = {},
             const std::vector<std::pair<std::string, std::string>>& environment = {});

// Up once it has read the lamps (and so built its strips).
bool waitUntilUp(SimulatedBridge& sim, std::size_t groupReads = 1);

// A private session bus for the programs a test starts, gone with the test.
class SessionBus {
public:
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    // Empty when dbus-daemon could not start.
    const std::string& address() const { return address_; }

private:
    pid_t pid_ = -1;
    std::string address_;
};

// A house of `lamps` lamps and `groups` groups, the test's clock chosen.
AppUnderTest::Options house(int lamps, int groups, bool fakeClock = false);
SimulatedBridge::Options bridgeWith(int lamps, int groups);

// A user drag: press, move through `positions`, release.
void drag(gui::StripSlider* slider, const std::vector<int>& positions);

class GuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureQtApplication(); }
};

}  // namespace glowmere::testing
