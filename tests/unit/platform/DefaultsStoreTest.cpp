#include "platform/DefaultsStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "platform/Log.h"
#include "support/TempDir.h"

using glowmere::Value;
using glowmere::platform::DefaultsStore;
using glowmere::platform::LogCapture;
using glowmere::testing::TempDir;
namespace fs = std::filesystem;

namespace {

TEST(DefaultsStore, ValuesSurviveARestartWithTheirTypes) {
    TempDir dir;
    Value presets = Value::list({Value::map({{"name", "Evening"}, {"transition", 0.5}, {"ID", 3}})});
    {
        DefaultsStore store(dir.path());
        store.setObject("username", "abc123");
        store.setObject("alwaysUseManualIP", true);
        store.setObject("listenerSensitivity", -32.5);
        store.setObject("soundTriggerPreset", 2);
        store.setObject("presets", presets);
        store.setObject("gone", "soon");
        store.removeObject("gone");
    }
    DefaultsStore again(dir.path());
    EXPECT_EQ(again.objectForKey("username"), Value("abc123"));
    EXPECT_EQ(again.objectForKey("alwaysUseManualIP"), Value(true));
    EXPECT_EQ(again.objectForKey("listenerSensitivity"), Value(-32.5));
    EXPECT_EQ(again.objectForKey("soundTriggerPreset"), Value(2));
    EXPECT_EQ(again.objectForKey("presets"), presets);
    EXPECT_FALSE(again.hasObject("gone"));

    struct stat st {};
    ASSERT_EQ(::stat(again.filePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // it holds the bridge user name
}

TEST(DefaultsStore, RegisteredDefaultsApplyOnlyWhileAbsentAndAreNeverStored) {
    TempDir dir;
    {
        DefaultsStore store(dir.path());
        store.registerDefaults({{"transitionMins", "30"}, {"presetTransition", "0.5"}});
        EXPECT_EQ(store.doubleForKey("transitionMins"), 30);
        EXPECT_EQ(store.doubleForKey("presetTransition"), 0.5);
        EXPECT_FALSE(store.hasStoredObject("transitionMins"));
        store.setObject("transitionMins", "5");
        EXPECT_EQ(store.integerForKey("transitionMins"), 5);
        store.removeObject("transitionMins");
        EXPECT_EQ(store.stringForKey("transitionMins"), "30");
        store.synchronize();
    }
    DefaultsStore again(dir.path());
    EXPECT_FALSE(again.hasObject("transitionMins"));
    EXPECT_FALSE(again.hasObject("presetTransition"));
}

TEST(DefaultsStore, ACorruptFileIsKeptAsideAndReported) {
    TempDir dir;
    fs::create_directories(dir.path());
    {
        std::ofstream(dir.path() / "defaults.plist") << "<plist><dict><key>username</key>";  // cut off
    }
    LogCapture log;
    DefaultsStore store(dir.path());
    EXPECT_TRUE(store.storedValues().empty());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("kept as"), std::string::npos);

    int asideCount = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("defaults.plist.corrupt-", 0) == 0) {
            ++asideCount;
            std::ifstream in(entry.path());
            std::string content((std::istreambuf_iterator<char>(in)), {});
            EXPECT_EQ(content, "<plist><dict><key>username</key>");
        }
    EXPECT_EQ(asideCount, 1);
    // New settings go to a new file; the kept copy stays as it was.
    store.setObject("username", "fresh");
    EXPECT_EQ(DefaultsStore(dir.path()).stringForKey("username"), "fresh");
}

TEST(DefaultsStore, IsSafeFromSeveralThreads) {
    TempDir dir;
    DefaultsStore store(dir.path());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                store.setObject("k" + std::to_string(t), i);
                (void)store.objectForKey("k" + std::to_string((t + 1) % 4));
            }
        });
    for (auto& th : threads) th.join();
    DefaultsStore again(dir.path());
    for (int t = 0; t < 4; ++t) EXPECT_EQ(again.integerForKey("k" + std::to_string(t)), 24);
}

// A writer process killed at any moment of a save leaves a file that reads,
// holding one whole save: never half of one.
TEST(DefaultsStore, SurvivesTheWriterBeingKilledMidSave) {
    TempDir dir;
    std::mt19937 random(12345);
    long lastCounter = 0;
    for (int round = 0; round < 25; ++round) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::execl(DEFAULTS_WRITER_PATH, DEFAULTS_WRITER_PATH, dir.path().c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 30000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own";

        LogCapture log;
        DefaultsStore store(dir.path());
        EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
        Value state = store.objectForKey("state");
        if (state.isNull()) continue;  // killed before its first save
        long counter = static_cast<long>(state["counter"].integerValue());
        std::string payload = state["payload"].text();
        EXPECT_EQ(payload, std::string(20000 + static_cast<std::size_t>(counter % 7) * 1000,
                                       static_cast<char>('a' + counter % 26)));
        EXPECT_GE(counter, lastCounter);
        lastCounter = counter;
    }
    EXPECT_GT(lastCounter, 0);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("corrupt"), std::string::npos);
}

}  // namespace
