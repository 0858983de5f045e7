// Figures for the main controller: the cost of building the strips for a
// large house, whether rebuilding leaks, what one polling cycle costs
// against the simulated bridge over loopback, and what listening costs the
// controller thread. Prints; asserts only bounds that no healthy build comes
// near.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "controller/ManualController.h"
#include "controller/MicListener.h"
#include "controls/BridgeBridgeClient.h"
#include "controls/SettingsWindowController.h"
#include "platform/HttpClient.h"
#include "platform/LevelMeter.h"
#include "platform/Log.h"
#include "support/FakeBridgeClient.h"
#include "support/FakeViews.h"
#include "support/ProcessStats.h"
#include "../BenchAim.h"
#include "support/SimulatedBridge.h"

using namespace glowmere;
using namespace glowmere::testing;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

Value house(int lamps, const char* prefix) {
    Value list = Value::emptyList();
    for (int i = 1; i <= lamps; ++i)
        list.append(Value::map({{"id", std::to_string(i)},
                                {"label", std::string(prefix) + std::to_string(i)},
                                {"onoff", "true"},
                                {"brightness", "100"},
                                {"colour", "1000"},
                                {"saturation", "200"}}));
    return list;
}

TEST(ControllerBench, BuildingAndRebuildingFiftyLampsAndTenGroups) {
    platform::LogCapture quiet;
    platform::FakeClock clock;
    platform::RunLoop loop(clock);
    loop.runPending();
    platform::DefaultsStore defaults;
    FakeBridgeClient bridge;
    bridge.setLights(house(50, "Lamp "));
    bridge.setGroups(house(10, "Group "));
    FakeMainWindow window;
    FakeViewTemplates templates;
    ControllerSettings settings;
    settings.makeAllGroup.setState(1);
    ManualController controller(loop, defaults, bridge, window, templates, settings);
    controller.awakeFromNib();

    auto start = Steady::now();
    controller.setUp();
    double first = millisSince(start);
    controller.stopBackgroundThreads();
    ASSERT_EQ(controller.collection().size(), 61u);

    for (int i = 0; i < 20; ++i) controller.refreshSetUp();  // warm up the allocator
    long before = residentKilobytes();
    constexpr int rebuilds = 1000;
    start = Steady::now();
    for (int i = 0; i < rebuilds; ++i) controller.refreshSetUp();
    double perRebuild = millisSince(start) / rebuilds;
    long after = residentKilobytes();

    std::printf("set-up of 50 lamps, 10 groups and All: %.3f ms; rebuild: %.3f ms each\n", first, perRebuild);
    std::printf("resident memory %ld kB; change over %d rebuilds: %+ld kB\n", after, rebuilds, after - before);
    EXPECT_EQ(window.contentView().subviews().size(), 63u) << "61 strips and two selection rows";
    EXPECT_LT(after - before, 2048) << "rebuilding must not leak";
}

// Counts what the bridge sends back.
class CountingHttpClient final : public platform::HttpClient {
public:
    explicit CountingHttpClient(platform::HttpClient& inner) : inner_(inner) {}
    using platform::HttpClient::send;
    std::optional<platform::HttpResponse> send(const platform::HttpRequest& request,
                                               platform::HttpError* error = nullptr) override {
        auto response = inner_.send(request, error);
        if (response) bytes_ += response->body.size();
        return response;
    }
    std::size_t bytes() const { return bytes_; }

private:
    platform::HttpClient& inner_;
    std::atomic<std::size_t> bytes_{0};
};

// What start-up and one polling cycle ask of the bridge, over loopback,
// for houses of 10, 50 and 200 lamps (and a fifth as many groups).
TEST(ControllerBench, StartUpAndPollingCycleAgainstTheSimulatedBridge) {
    std::printf("%-6s %-7s %12s %12s %14s %10s %10s %12s\n", "lamps", "groups", "start-up ms", "start-up req",
                "start-up bytes", "cycle req", "cycle ms", "cycle bytes");
    for (int lamps : {10, 50, 200}) {
        SimulatedBridge::Options options;
        options.lamps = lamps;
        options.groups = lamps / 5;
        SimulatedBridge sim(options);
        platform::LogCapture quiet;
        platform::FakeClock clock;
        clock.setSettleTimeout(30s);
        platform::RunLoop loop(clock);
        std::thread loopThread([&] { loop.run(); });
        platform::DefaultsStore defaults;
        defaults.setObject("username", sim.user());
        defaults.setObject("lastusedbridgeIP", sim.address());
        defaults.setObject("alwaysUseManualIP", true);
        platform::CurlHttpClient curl;
        CountingHttpClient http(curl);
        BridgeBridge bridge(http, defaults, clock);
        BridgeBridgeClient client(bridge);
        FakeMainWindow window;
        FakeViewTemplates templates;
        ControllerSettings settings;
        std::unique_ptr<ManualController> controller;

        sim.clearRequestLog();
        auto start = Steady::now();
        ASSERT_TRUE(loop.postAndWait([&] {
            controller = std::make_unique<ManualController>(loop, defaults, client, window, templates, settings);
            controller->awakeFromNib();
            controller->applicationDidFinishLaunching();
        }));
        const double startUp = millisSince(start);
        ASSERT_TRUE(clock.waitForWaiters(2, 30000ms));
        const std::size_t startUpRequests = sim.requestLog().size();
        const std::size_t startUpBytes = http.bytes();
        sim.clearRequestLog();

        constexpr int cycles = 5;
        const std::size_t bytesBefore = http.bytes();
        start = Steady::now();
        for (int i = 0; i < cycles; ++i) {
            clock.advance(6s);
            loop.postAndWait([] {});
        }
        const double perCycle = millisSince(start) / cycles;
        const std::size_t requests = sim.requestLog().size() / cycles;
        const std::size_t bytes = (http.bytes() - bytesBefore) / cycles;
        std::printf("%-6d %-7d %12.1f %12zu %14zu %10zu %10.1f %12zu\n", lamps, lamps / 5, startUp, startUpRequests,
                    startUpBytes, requests, perCycle, bytes);
        EXPECT_EQ(requests, 2u) << "the lamp list and the group list";
        EXPECT_LE(startUpRequests, 10u);

        loop.postAndWait([&] { controller.reset(); });
        loop.quit();
        loopThread.join();
    }
    std::fflush(stdout);
}

TEST(ControllerBench, ApplyingAPresetOfThirtyLampsAgainstTheSimulatedBridge) {
    SimulatedBridge::Options options;
    options.lamps = 30;
    options.groups = 0;
    SimulatedBridge sim(options);
    platform::LogCapture quiet;
    platform::SystemClock clock;
    platform::RunLoop loop(clock);
    loop.runPending();
    platform::DefaultsStore defaults;
    defaults.setObject("username", sim.user());
    defaults.setObject("lastusedbridgeIP", sim.address());
    defaults.setObject("alwaysUseManualIP", true);
    platform::CurlHttpClient http;
    BridgeBridge bridge(http, defaults, clock);
    BridgeBridgeClient client(bridge);
    FakeMainWindow window;
    FakeViewTemplates templates;
    ControllerSettings settings;
    ManualController controller(loop, defaults, client, window, templates, settings);
    controller.awakeFromNib();
    controller.setUp();
    controller.stopBackgroundThreads();
    ASSERT_EQ(controller.countLightStrips(), 30);
    controller.presetNameEditingField().setStringValue("All thirty");
    controller.savePreset();
    defaults.setObject("presetTransition", "1");
    sim.clearRequestLog();

    auto start = Steady::now();
    controller.implementPreset(0);
    double onController = millisSince(start);
    auto puts = [&] {
        std::vector<SimRequest> out;
        for (auto& r : sim.requestLog())
            if (r.method == "PUT") out.push_back(r);
        return out;
    };
    while (puts().size() < 30 && millisSince(start) < 20000) std::this_thread::sleep_for(5ms);
    double allSent = millisSince(start);
    auto sent = puts();
    std::printf("a preset of 30 lamps: %.1f ms of controller-thread time, all 30 on the bridge after %.1f ms\n",
                onController, allSent);
    ASSERT_EQ(sent.size(), 30u);
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_NE(sent[i].path.find("/lights/" + std::to_string(i + 1) + "/state"), std::string::npos)
            << "in strip order";
}

// The recorder as the desktop application has it, minus the audio device:
// samples go into the same level meter, here from the benchmark itself.
class MeterRecorder final : public platform::AudioRecorder {
public:
    explicit MeterRecorder(platform::LevelMeter& meter) : meter_(meter) {}
    bool prepareToRecord() override { return true; }
    void setMeteringEnabled(bool) override {}
    bool record() override { return true; }
    void stop() override {}
    bool isRecording() const override { return true; }
    void updateMeters() override { meter_.update(); }
    float averagePowerForChannel(int channel) const override { return meter_.averagePower(channel); }
    int numberOfChannels() const override { return meter_.channels(); }

private:
    platform::LevelMeter& meter_;
};

class MeterInput final : public platform::AudioInput {
public:
    std::unique_ptr<platform::AudioRecorder> makeRecorder(const platform::AudioRecorderSettings&) override {
        return std::make_unique<MeterRecorder>(meter);
    }
    platform::LevelMeter meter{2};
};

TEST(ControllerBench, ListeningTenMinutesTickCostAndMemory) {
    platform::LogCapture quiet;
    platform::FakeClock clock;
    platform::RunLoop loop(clock);
    loop.runPending();
    platform::DefaultsStore defaults;
    FakeBridgeClient bridge;
    bridge.setLights(house(5, "Lamp "));
    FakeMainWindow window;
    FakeViewTemplates templates;
    ControllerSettings settings;
    ManualController controller(loop, defaults, bridge, window, templates, settings);
    controller.awakeFromNib();
    controller.setUp();
    controller.stopBackgroundThreads();
    controller.presetNameEditingField().setStringValue("Alarm");
    controller.savePreset();
    settings.slSoundSensitivity.setDoubleValue(-20);
    settings.soundTriggerDelay.setStringValue("0");
    settings.soundOnPeriod.setStringValue("1");

    SettingsWindowController indicators(settings.slSoundSensitivity);
    MeterInput input;
    platform::Button listenButton;
    MicListener listener(loop);
    listener.setAudioInput(&input);
    listener.setSensitivitySlider(&settings.slSoundSensitivity);
    listener.setSoundTriggerDelayField(&settings.soundTriggerDelay);
    listener.setMainToolbarListenButton(&listenButton);
    listener.setManualController(&controller);
    listener.setDelegate(&indicators);
    controller.setMicListener(&listener);
    controller.setListenToolbarButton(&listenButton);
    listener.awakeFromNib();
    controller.startListeningNow();
    ASSERT_TRUE(listener.isMeasuring());

    // A tenth of a second of stereo at 44.1 kHz: room noise, or a clap.
    std::vector<std::int16_t> noise(8820), clap(8820);
    unsigned seed = 1;
    for (std::size_t i = 0; i < noise.size(); ++i) {
        seed = seed * 1103515245 + 12345;
        noise[i] = static_cast<std::int16_t>(static_cast<int>((seed >> 16) % 200) - 100);
        clap[i] = static_cast<std::int16_t>(i % 2 ? 30000 : -30000);
    }
    auto tick = [&](const std::vector<std::int16_t>& samples) {
        input.meter.addSamples(samples.data(), samples.size());
        clock.advance(MicListener::levelInterval);
        auto start = Steady::now();
        loop.runPending();
        return std::chrono::duration<double, std::micro>(Steady::now() - start).count();
    };
    for (int i = 0; i < 600; ++i) tick(noise);  // a minute to warm up

    long before = residentKilobytes();
    constexpr int ticks = 6000;  // ten minutes
    double quietTotal = 0, quietWorst = 0;
    int quietTicks = 0;
    for (int i = 0; i < ticks; ++i) {
        // A clap every two minutes: announced, the preset applied, restored.
        bool loud = i % 1200 == 0;
        double micros = tick(loud ? clap : noise);
        if (loud) continue;
        quietTotal += micros;
        quietWorst = std::max(quietWorst, micros);
        ++quietTicks;
    }
    long after = residentKilobytes();
    double mean = quietTotal / quietTicks;
    std::printf("level tick on the controller thread: mean %.2f us, worst %.1f us over %d ticks\n", mean, quietWorst,
                quietTicks);
    std::printf("resident memory %ld kB; change over ten minutes of listening: %+ld kB\n", after, after - before);
    EXPECT_GT(bridge.sentSettings().size(), 0u) << "the claps set the trigger off";
    expectWithinAim("mean level tick (us)", mean, 100);
    EXPECT_LT(after - before, 2048);
    controller.stopListening();
}

}  // namespace
