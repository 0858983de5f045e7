// Prints how a big house reaches the screen: when the first strip shows
// against the window's first paint, the window thread's longest stall while
// every strip is built again, and what a minute of polling that finds no
// change costs the window thread and the process.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "GuiHarness.h"
#include "StallMeter.h"
#include "controller/ManualController.h"
#include "gui/app/ControllerThread.h"
#include "gui/app/GuiContext.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/ViewWidgets.h"

namespace glowmere::testing {

namespace {

// Notes, after `start`, when the first paint of a top-level window and of a
// strip reach the window thread.
class PaintWatch : public QObject {
public:
    PaintWatch() { qApp->installEventFilter(this); }
    ~PaintWatch() override { qApp->removeEventFilter(this); }
    void start() { clock_.start(); }
    qint64 windowMs = -1;
    qint64 stripMs = -1;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint && clock_.isValid()) {
            if (windowMs < 0 && qobject_cast<QMainWindow*>(object)) windowMs = clock_.elapsed();
            if (stripMs < 0 && dynamic_cast<gui::StripViewWidget*>(object)) stripMs = clock_.elapsed();
        }
        return false;
    }

private:
    QElapsedTimer clock_;
};

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

using StripBuildBench = GuiTest;

TEST_F(StripBuildBench, TwoHundredLampsReachTheScreenInSlicesAndRestQuietly) {
    constexpr int lamps = 200;
    PaintWatch paints;
    auto options = house(lamps, 0, /*fakeClock=*/true);
    options.beforeStart = [&paints](SimulatedBridge&) { paints.start(); };
    AppUnderTest t(options);
    ASSERT_TRUE(t.waitForStrips(lamps, 60000));
    ASSERT_TRUE(pumpUntil([&] { return paints.stripMs >= 0; }));
    std::printf("%d lamps: first window paint after %lld ms, first strip painted after %lld ms\n", lamps,
                static_cast<long long>(paints.windowMs), static_cast<long long>(paints.stripMs));
    expectWithinAim("first strip painted (ms)", paints.stripMs, 2 * std::max<qint64>(paints.windowMs, 50) + 1);

    // Every strip built again, as when the bridge reports a new lamp.
    auto& manual = t.app().manualController();
    const auto rebuildsBefore = manual.rebuildCount();
    qint64 stall = 0;
    {
        // Only cheap checks while the meter runs: asking the controller
        // thread how many strips it has would make the window wait on it.
        StallMeter meter;
        t.app().controllerThread().post([&manual] { manual.refreshSetUp(); });
        ASSERT_TRUE(pumpUntil([&] { return manual.rebuildCount() > rebuildsBefore; }, 60000));
        pumpUntil([] { return false; }, 1500);  // the strips reach the screen
        stall = meter.worstMs();
    }
    ASSERT_TRUE(t.waitForStrips(lamps, 60000));
    std::printf("%d lamps: full rebuild, longest stall of the window thread %lld ms\n", lamps,
                static_cast<long long>(stall));
    // One frame: the strips are made and the retired ones deleted in slices
    // of a few milliseconds, and a repaint copies cached pictures.
    expectWithinAim("longest stall of the window thread during a rebuild (ms)", stall, 16);

    // A minute of polling (ten cycles) with nothing changed on the bridge.
    // The harness's own pumping costs CPU too: measured alone first, then
    // taken off.
    pumpUntil([] { return false; }, 300);
    double cpuBefore = processCpuMs();
    pumpUntil([] { return false; }, 10 * 150);
    const double idleCpuMs = processCpuMs() - cpuBefore;
    const auto readsBefore = requestsTo(t.sim(), "GET", "/lights").size();
    const auto postsBefore = gui::guiTasksPosted();
    cpuBefore = processCpuMs();
    for (int cycle = 0; cycle < 10; ++cycle) {
        t.fakeClock().advance(std::chrono::seconds(6));
        pumpUntil([] { return false; }, 150);  // a cycle is two requests on loopback
    }
    const double cpuMs = processCpuMs() - cpuBefore - idleCpuMs;
    const auto posts = gui::guiTasksPosted() - postsBefore;
    const auto reads = requestsTo(t.sim(), "GET", "/lights").size() - readsBefore;
    std::printf(
        "%d lamps: a minute of polling with no change (%zu reads of the lamps) posted %llu tasks to the window "
        "thread and cost %.0f ms of CPU\n",
        lamps, reads, static_cast<unsigned long long>(posts), cpuMs);
    EXPECT_GE(reads, 9u);
    EXPECT_EQ(posts, 0u);
    expectWithinAim("CPU of a quiet minute (ms)", cpuMs, 80.0);

    // One lamp changed elsewhere: the next poll reaches its strip alone, one
    // task for the control that changed rather than one for every strip.
    t.sim().changeLamp("1", R"({"bri": 17})");
    const auto postsBeforeChange = gui::guiTasksPosted();
    t.fakeClock().advance(std::chrono::seconds(6));
    ASSERT_TRUE(pumpUntil([&] { return t.slider(0, 3)->value() == 17; }, 5000));
    pumpUntil([] { return false; }, 150);
    const auto changePosts = gui::guiTasksPosted() - postsBeforeChange;
    std::printf("%d lamps: a poll that changed one lamp's brightness posted %llu tasks to the window thread\n", lamps,
                static_cast<unsigned long long>(changePosts));
    EXPECT_GE(changePosts, 1u);
    EXPECT_LE(changePosts, 3u);
}

}  // namespace
}  // namespace glowmere::testing
