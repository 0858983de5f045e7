#include "GuiHarness.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "controller/ManualController.h"
#include "controls/LampControlStrip.h"
#include "gui/app/ControllerThread.h"
#include "gui/app/GuiContext.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/ViewWidgets.h"

namespace glowmere::testing {

void ensureQtApplication() {
    if (QApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "glowmere-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    (void)app;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    QCoreApplication::processEvents();
    return true;
}

void writeProfile(const std::filesystem::path& dir, const std::string& address, const std::string& user,
                  const std::string& extraEntries) {
    std::ofstream out(dir / "defaults.plist");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        << "<key>alwaysUseManualIP</key><true/>\n"
        << "<key>lastusedbridgeIP</key><string>" << address << "</string>\n";
    if (!user.empty()) out << "<key>username</key><string>" << user << "</string>\n";
    out << extraEntries << "</dict>\n</plist>\n";
}

std::vector<SimRequest> requestsTo(SimulatedBridge& sim, const std::string& method, const std::string& part) {
    std::vector<SimRequest> out;
    for (auto& r : sim.requestLog())
        if (r.method == method && r.path.find(part) != std::string::npos) out.push_back(r);
    return out;
}

AppUnderTest::AppUnderTest(Options options) {
    ensureQtApplication();
    sim_ = std::make_unique<SimulatedBridge>(options.bridge);
    writeProfile(dir_.path(), sim_->address(), sim_->user(), options.extraDefaults);
    if (options.beforeStart) options.beforeStart(*sim_);
    gui::GlowmereApp::Options appOptions;
    appOptions.profile = dir_.path();
    appOptions.autostartDirectory = dir_.path() / "autostart";
    if (options.fakeClock) {
        fakeClock_ = std::make_unique<platform::FakeClock>();
        appOptions.clock = fakeClock_.get();
    }
    if (options.adjust) options.adjust(appOptions);
    app_ = std::make_unique<gui::GlowmereApp>(appOptions);
    app_->start();
}

AppUnderTest::~AppUnderTest() {
    // A slow bridge would hold the controller thread in a request past the
    // stop's grace; the polling thread may be asleep on the fake clock,
    // which stopping wakes.
    try {
        sim_->clearFaults();
    } catch (...) {
    }
    app_.reset();
    QCoreApplication::processEvents();
}

void AppUnderTest::onController(const std::function<void()>& work) {
    app_->controllerThread().loop().postAndWait(work);
}

std::size_t AppUnderTest::stripCount() {
    std::size_t n = 0;
    onController([&] { n = app_->manualController().isSetUp() ? app_->manualController().collection().size() : 0; });
    return n;
}

bool AppUnderTest::waitForStrips(std::size_t count, int timeoutMs) {
    return pumpUntil(
        [&] {
            if (stripCount() != count) return false;
            for (std::size_t i = 0; i < count; ++i)
                if (!stripWidget(i)) return false;
            return true;
        },
        timeoutMs);
}

gui::StripViewWidget* AppUnderTest::stripWidget(std::size_t index) {
    const platform::View* view = nullptr;
    onController([&] {
        const auto& collection = app_->manualController().collection();
        if (index < collection.size()) view = collection[index]->mainView();
    });
    return qobject_cast<gui::StripViewWidget*>(app_->context().widgetFor(view));
}

gui::StripSlider* AppUnderTest::slider(std::size_t index, int tag) {
    auto* strip = stripWidget(index);
    if (!strip) return nullptr;
    return qobject_cast<gui::StripSlider*>(app_->context().widgetFor(strip->view().subviewWithTag(tag)));
}

gui::ToggleSwitch* AppUnderTest::onOffSwitch(std::size_t index) {
    auto* strip = stripWidget(index);
    if (!strip) return nullptr;
    return qobject_cast<gui::ToggleSwitch*>(app_->context().widgetFor(strip->view().subviewWithTag(2)));
}

QString AppUnderTest::labelText(std::size_t index) {
    auto* strip = stripWidget(index);
    if (!strip) return {};
    auto* label = qobject_cast<QLabel*>(app_->context().widgetFor(strip->view().subviewWithTag(1)));
    // A long name is elided on screen; the tooltip holds all of it.
    if (!label) return {};
    return label->toolTip().isEmpty() ? label->text() : label->toolTip();
}

SimulatedBridge::Options bridgeWith(int lamps, int groups) {
    SimulatedBridge::Options options;
    options.lamps = lamps;
    options.groups = groups;
    return options;
}

AppUnderTest::Options house(int lamps, int groups, bool fakeClock) {
    AppUnderTest::Options options;
    options.bridge = bridgeWith(lamps, groups);
    options.fakeClock = fakeClock;
    return options;
}

void drag(gui::StripSlider* slider, const std::vector<int>& positions) {
    slider->setSliderDown(true);
    for (int p : positions) slider->setSliderPosition(p);
    slider->setSliderDown(false);
}

pid_t launch(const std::filesystem::path& profile, const std::string& busAddress, const std::filesystem::path& log,
             const std::vector<std::pair<std::string, std::string>>& environment) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (busAddress.empty())
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    if (!log.empty()) (void)!freopen(log.c_str(), "w", stderr);
    execl(GLOWMERE_GUI_PATH, GLOWMERE_GUI_PATH, "--profile", profile.c_str(), nullptr);
    _exit(127);
}

bool waitUntilUp(SimulatedBridge& sim, std::size_t groupReads) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (requestsTo(sim, "GET", "/groups").size() < groupReads && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return requestsTo(sim, "GET", "/groups").size() >= groupReads;
}

SessionBus::SessionBus() {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr);
        _exit(127);
    }
    close(out[1]);
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') address_ += c;
    close(out[0]);
}

SessionBus::~SessionBus() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

}  // namespace glowmere::testing
