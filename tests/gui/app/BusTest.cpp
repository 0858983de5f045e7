// The desktop application on a private session bus, as scripts and the
// desktop reach it: every method of org.glowmere.Glowmere, the wake from
// sleep, and the sound notification from a real microphone stream.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "GuiHarness.h"

namespace glowmere::testing {
namespace {

using BusTest = GuiTest;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A shell command's standard output, with its standard error.
std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// Calls a method of the running application; gives gdbus's rendering of
// the reply ("()", "(true,)") or its error.
std::string call(const SessionBus& bus, const std::string& method, const std::string& argument = "") {
    return output("DBUS_SESSION_BUS_ADDRESS=" + quoted(bus.address()) +
                  " timeout 20 gdbus call --session --dest org.glowmere.Glowmere --object-path /org/glowmere/Glowmere"
                  " --method org.glowmere.Glowmere." +
                  method + (argument.empty() ? "" : " " + quoted(argument)));
}

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(15)) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A preset record in the profile's property list: every lamp at `bri`.
std::string preset(const std::string& name, int lamps, int bri) {
    std::string strips;
    for (int id = 1; id <= lamps; ++id)
        strips += "<dict><key>id</key><string>" + std::to_string(id) +
                  "</string><key>label</key><string>x</string><key>onoff</key><true/>"
                  "<key>brightness</key><real>" +
                  std::to_string(bri) +
                  "</real><key>colour</key><real>1000</real><key>saturation</key><real>55</real></dict>";
    return "<dict><key>ID</key><string>20260101120000</string><key>name</key><string>" + name +
           "</string><key>strips</key><array>" + strips + "</array></dict>";
}

// dbus-monitor on `bus`, writing what matches `rule` to a file, as another
// program would see it.
class BusMonitor {
public:
    BusMonitor(const SessionBus& bus, const std::string& rule) {
        pid_ = fork();
        if (pid_ == 0) {
            (void)!freopen(file_.c_str(), "w", stdout);
            execlp("dbus-monitor", "dbus-monitor", "--address", bus.address().c_str(), rule.c_str(), nullptr);
            _exit(127);
        }
    }
    ~BusMonitor() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::string seen() const { return slurp(file_); }

private:
    TempDir dir_;
    std::filesystem::path file_ = dir_.path() / "monitor.txt";
    pid_t pid_ = -1;
};

// The application, started on a profile of its own and stopped with the test.
class RunningApp {
public:
    RunningApp(SimulatedBridge& sim, const SessionBus& bus, const std::string& extraDefaults,
               std::vector<std::pair<std::string, std::string>> environment = {}) {
        writeProfile(dir_.path(), sim.address(), sim.user(), extraDefaults);
        // Never a sound server or system bus of the machine's own.
        environment.insert(environment.begin(), {"XDG_RUNTIME_DIR", dir_.path().string()});
        environment.emplace_back("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
        pid_ = launch(dir_.path(), bus.address(), log(), environment);
        up_ = pid_ > 0 && waitUntilUp(sim) &&
              waitFor([&] { return call(bus, "Presets").rfind("(", 0) == 0; }, std::chrono::seconds(10));
    }
    ~RunningApp() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    bool up() const { return up_; }
    std::filesystem::path log() const { return dir_.path() / "glowmere.log"; }
    bool logged(const std::string& line) const { return slurp(log()).find(line) != std::string::npos; }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool up_ = false;
};

TEST_F(BusTest, EveryMethodRunsTheCommandsOfTheMenus) {
    SessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon";
    SimulatedBridge sim(bridgeWith(2, 0));
    RunningApp app(sim, bus,
                   "<key>presets</key><array>" + preset("Evening", 2, 100) + preset("Night", 2, 7) + "</array>");
    ASSERT_TRUE(app.up()) << slurp(app.log());
    BusMonitor properties(bus, "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged'");

    struct Case {
        const char* method;
        const char* argument;
        const char* reply;
        const char* request;  // a PUT whose path holds this, or none
        const char* body;     // a member its body must have
    } cases[] = {
        {"AllOff", "", "()", "/groups/0/action", R"({"on":false})"},
        {"AllOn", "", "()", "/groups/0/action", R"({"on":true})"},
        {"Presets", "", "(['Evening', 'Night'],)", nullptr, nullptr},
        {"ApplyPreset", "Night", "(true,)", "/lights/2/state", R"({"bri":7})"},
        {"ApplyPreset", "Dawn", "(false,)", nullptr, nullptr},
        {"StartListening", "", "()", nullptr, nullptr},
        {"StopListening", "", "()", nullptr, nullptr},
        // The shortcuts' commands. Lamp 1 is on: Toggle switches all off.
        {"Toggle", "", "()", "/groups/0/action", R"({"on":false})"},
        {"Toggle", "", "()", "/groups/0/action", R"({"on":true})"},
        // From Night, applied last: Evening, then back to Night.
        {"PresetNext", "", "()", "/lights/2/state", R"({"bri":100})"},
        {"PresetPrevious", "", "()", "/lights/2/state", R"({"bri":7})"},
        {"Brighter", "", "()", "/lights/2/state", R"({"bri":32})"},
        {"Dimmer", "", "()", "/lights/2/state", R"({"bri":7})"},
        {"Alert", "Küche", "(true,)", "/lights/2/state", R"({"alert":"select"})"},
        {"Alert", "Cellar", "(false,)", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.argument);
        sim.clearRequestLog();
        EXPECT_EQ(call(bus, c.method, c.argument), c.reply);
        if (!c.request) continue;
        ASSERT_TRUE(waitFor([&] { return !requestsTo(sim, "PUT", c.request).empty(); }));
        const json body = json::parse(requestsTo(sim, "PUT", c.request).back().body);
        const json expected = json::parse(c.body);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            EXPECT_EQ(body.value(it.key(), json()), it.value()) << body.dump();
    }
    EXPECT_TRUE(app.logged("no microphone available; listening does nothing")) << "nothing to listen with here";
    EXPECT_EQ(output("DBUS_SESSION_BUS_ADDRESS=" + quoted(bus.address()) +
                     " gdbus call --session --dest org.glowmere.Glowmere --object-path /org/glowmere/Glowmere"
                     " --method org.freedesktop.DBus.Properties.Get org.glowmere.Glowmere Listening"),
              "(<false>,)");
    // Listening told as it changed: on, then off.
    waitFor([&] { return properties.seen().find("boolean false") != std::string::npos; }, std::chrono::seconds(5));
    const std::string told = properties.seen();
    const auto on = told.find("boolean true"), off = told.find("boolean false");
    EXPECT_NE(told.find("string \"Listening\""), std::string::npos) << told;
    EXPECT_TRUE(on != std::string::npos && off != std::string::npos && on < off) << told;

    // logind's wake, on the bus that stands for the system bus here.
    output("DBUS_SESSION_BUS_ADDRESS=" + quoted(bus.address()) +
           " gdbus emit --session --object-path /org/freedesktop/login1"
           " --signal org.freedesktop.login1.Manager.PrepareForSleep false");
    EXPECT_TRUE(waitFor([&] { return app.logged("Computer woken"); }, std::chrono::seconds(5))) << slurp(app.log());
}

// A bridge that takes 2.5 s a request holds the controller thread up from
// the start; the methods answer within a second all the same, from what the
// application last knew, and the preset it accepted is applied later.
TEST_F(BusTest, MethodsAnswerWithinASecondWhileTheBridgeIsSlow) {
    SessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon";
    SimulatedBridge sim(bridgeWith(2, 0));
    sim.addLatency(2500);
    TempDir dir;
    writeProfile(dir.path(), sim.address(), sim.user(),
                 "<key>presets</key><array>" + preset("Evening", 2, 100) + preset("Night", 2, 7) + "</array>");
    const pid_t pid = launch(dir.path(), bus.address(), dir.path() / "glowmere.log",
                             {{"XDG_RUNTIME_DIR", dir.path().string()}, {"DBUS_SYSTEM_BUS_ADDRESS", bus.address()}});
    ASSERT_GT(pid, 0);
    const std::string env = "DBUS_SESSION_BUS_ADDRESS=" + quoted(bus.address());
    ASSERT_TRUE(waitFor([&] {
        return output(env +
                      " gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus"
                      " --method org.freedesktop.DBus.NameHasOwner org.glowmere.Glowmere") == "(true,)";
    }));
    struct Case {
        const char* method;
        const char* argument;
        const char* reply;
    } cases[] = {{"Presets", "", "(['Evening', 'Night'],)"},
                 {"ApplyPreset", "Night", "(true,)"},
                 {"ApplyPreset", "Dawn", "(false,)"},
                 {"AllOff", "", "()"}};
    for (const Case& c : cases) {
        const auto started = Clock::now();
        EXPECT_EQ(call(bus, c.method, c.argument), c.reply) << c.method;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
        EXPECT_LT(ms, 1000) << c.method << " " << c.argument;
    }
    sim.clearFaults();
    EXPECT_TRUE(waitFor([&] {
        for (const auto& put : requestsTo(sim, "PUT", "/lights/2/state"))
            if (json::parse(put.body).value("bri", -1) == 7) return true;
        return false;
    })) << "the queued preset never reached the bridge";
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// A script's flash of a lamp by its name: the simulator logs the bridge's
// alert, and the lamp ends as it was, on or off, in colour or warmth.
TEST_F(BusTest, AlertFlashesALampByNameAndLeavesItAsItWas) {
    SessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon";
    SimulatedBridge sim(bridgeWith(3, 1));
    sim.changeLamp("3", R"({"ct":300})");
    RunningApp app(sim, bus, "");
    ASSERT_TRUE(app.up()) << slurp(app.log());
    auto lamps = [&] {
        auto all = json::parse(sim.userRequest("GET", "lights").value_or("{}"));
        for (auto& [id, lamp] : all.items()) lamp["state"].erase("alert");
        return all;
    };
    const json before = lamps();
    for (const char* target : {"Hall", "Living room", "all"}) {
        SCOPED_TRACE(target);
        sim.clearRequestLog();
        EXPECT_EQ(call(bus, "Alert", target), "(true,)");
        bool flashed = false;
        for (const auto& put : requestsTo(sim, "PUT", "/"))
            flashed = flashed || json::parse(put.body).value("alert", "") == "select";
        EXPECT_TRUE(flashed);
        EXPECT_EQ(lamps(), before);
    }
}

// The desktop's global shortcuts service: Glowmere opens a session, binds
// every shortcut without choosing keys, and a pressed shortcut runs.
TEST_F(BusTest, GlobalShortcutsAreBoundAndAPressTurnsTheLampsOff) {
    if (output("/usr/bin/python3 -c 'import dbus, gi' && echo ok") != "ok")
        GTEST_SKIP() << "python3-dbus and python3-gi are needed for the portal stand-in";
    SessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon";
    TempDir dir;
    const std::filesystem::path calls = dir.path() / "portal.txt";
    const pid_t portal = fork();
    if (portal == 0) {
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
        execl("/usr/bin/python3", "python3", GLOWMERE_PORTAL_MOCK, calls.c_str(), nullptr);
        _exit(127);
    }
    ASSERT_TRUE(waitFor([&] { return slurp(calls).find("ready") != std::string::npos; })) << "the portal stand-in";
    SimulatedBridge sim(bridgeWith(3, 0));
    RunningApp app(sim, bus, "");
    ASSERT_TRUE(app.up()) << slurp(app.log());
    EXPECT_TRUE(waitFor([&] { return app.logged("global shortcuts registered with the desktop"); }))
        << slurp(app.log());
    const std::string bound = slurp(calls);
    EXPECT_EQ(bound.find("CreateSession\n"), bound.find("ready\n") + 6) << bound;
    for (const char* id : {"turn-all-on", "turn-all-off", "toggle-all", "preset-next", "preset-previous", "brighter",
                           "dimmer", "listen"})
        EXPECT_NE(bound.find(std::string("BindShortcuts True ") + id + " False"), std::string::npos)
            << id << " in the session, with no preferred keys:\n"
            << bound;

    sim.clearRequestLog();
    output("DBUS_SESSION_BUS_ADDRESS=" + quoted(bus.address()) +
           " gdbus call --session --dest org.freedesktop.portal.Desktop --object-path /org/freedesktop/portal/desktop"
           " --method org.glowmere.TestPortal.Press turn-all-off");
    EXPECT_TRUE(waitFor([&] {
        for (const auto& put : requestsTo(sim, "PUT", "/groups/0/action"))
            if (json::parse(put.body).value("on", true) == false) return true;
        return false;
    }));
    const json lights = json::parse(sim.userRequest("GET", "lights").value_or("{}"));
    for (const auto& [id, lamp] : lights.items()) EXPECT_FALSE(lamp["state"]["on"].get<bool>()) << "lamp " << id;
    kill(portal, SIGTERM);
    waitpid(portal, nullptr, 0);
}

// A sound server of the test's own: a null sink, and a microphone that plays
// whatever the test writes into its pipe.
class PulseAudio {
public:
    explicit PulseAudio(const std::filesystem::path& runtime) : runtime_(runtime) {
        if (output("command -v pulseaudio").empty() || output("command -v pactl").empty()) {
            error_ = "pulseaudio and pactl are not installed";
            return;
        }
        const std::string env = "XDG_RUNTIME_DIR=" + quoted(runtime.string()) + " HOME=" + quoted(runtime.string());
        const std::string started =
            output(env +
                   " timeout 20 pulseaudio -n --daemonize=yes --exit-idle-time=-1 -L module-native-protocol-unix"
                   " -L 'module-null-sink sink_name=out' -L 'module-pipe-source source_name=mic file=" +
                   fifo().string() + " format=s16le rate=44100 channels=2' && echo started");
        if (started.find("started") == std::string::npos) {
            error_ = started;
            return;
        }
        pid_ = std::atoi(slurp(runtime / "pulse" / "pid").c_str());
        const std::string defaultSource = output(env + " pactl set-default-source mic && echo ok");
        if (defaultSource.find("ok") == std::string::npos) error_ = defaultSource;
    }
    ~PulseAudio() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitFor([&] { return kill(pid_, 0) != 0; }, std::chrono::seconds(5));
    }
    const std::string& error() const { return error_; }
    std::filesystem::path fifo() const { return runtime_ / "mic.fifo"; }

    // A quarter of a second of a loud 1 kHz tone into the microphone.
    void playTone() const {
        constexpr int frames = 44100 / 4;
        std::vector<std::int16_t> samples;
        for (int i = 0; i < frames; ++i) {
            auto v = static_cast<std::int16_t>(26000 * std::sin(2 * 3.14159265358979 * 1000 * i / 44100.0));
            samples.push_back(v);
            samples.push_back(v);
        }
        int fd = open(fifo().c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) return;
        (void)!write(fd, samples.data(), samples.size() * sizeof samples[0]);
        close(fd);
    }

private:
    std::filesystem::path runtime_;
    pid_t pid_ = -1;
    std::string error_;
};

TEST_F(BusTest, ALoudToneOnTheMicrophoneIsAnnouncedAndAppliesThePreset) {
    TempDir runtime;
    PulseAudio pulse(runtime.path());
    if (!pulse.error().empty()) GTEST_SKIP() << "PulseAudio could not start, so no real audio: " << pulse.error();
    SessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon";

    // Everything on the bus about Glowmere, as another program would see it.
    BusMonitor monitor(bus, "type='signal',interface='org.glowmere.Glowmere'");
    SimulatedBridge sim(bridgeWith(2, 0));
    RunningApp app(sim, bus,
                   "<key>presets</key><array>" + preset("Alarm", 2, 254) +
                       "</array><key>soundTriggerPreset</key><integer>0</integer>"
                       "<key>soundTriggerDelay</key><string>0</string>"
                       "<key>listenerSensitivity</key><real>-30</real>"
                       "<key>listenerOnPeriod</key><string>5</string>",
                   {{"XDG_RUNTIME_DIR", runtime.path().string()}, {"HOME", runtime.path().string()}});
    ASSERT_TRUE(app.up()) << slurp(app.log());

    EXPECT_EQ(call(bus, "StartListening"), "()");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(monitor.seen().find("GlowmereSoundDetected"), std::string::npos) << "silence sets nothing off";
    sim.clearRequestLog();
    // The stream may take a moment to connect: play until it is heard.
    const bool heard = waitFor([&] {
        if (monitor.seen().find("GlowmereSoundDetected") != std::string::npos) return true;
        pulse.playTone();
        return false;
    });
    EXPECT_TRUE(heard) << slurp(app.log());
    const std::string signal = monitor.seen();
    EXPECT_NE(signal.find("path=/org/glowmere/Glowmere; interface=org.glowmere.Glowmere; member=GlowmereSoundDetected"),
              std::string::npos)
        << signal;
    EXPECT_NE(signal.find("string \"Glowmere\""), std::string::npos) << signal;
    ASSERT_TRUE(waitFor([&] { return requestsTo(sim, "PUT", "/lights/2/state").size() >= 1; }))
        << "the preset was not applied";
    EXPECT_EQ(json::parse(requestsTo(sim, "PUT", "/lights/1/state").front().body).value("bri", -1), 254);
    EXPECT_EQ(call(bus, "StopListening"), "()");
}

}  // namespace
}  // namespace glowmere::testing
