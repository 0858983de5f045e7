#include "platform/DefaultsStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "platform/Log.h"
#include "platform/StoredListMerge.h"
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

    // Broken while the store runs: set aside again, the values in memory stay
    // and are written with the next change.
    { std::ofstream(dir.path() / "defaults.plist") << "not a property list"; }
    EXPECT_EQ(store.stringForKey("username"), "fresh");
    store.setObject("other", 1);
    EXPECT_EQ(DefaultsStore(dir.path()).stringForKey("username"), "fresh");
    asideCount = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        asideCount += entry.path().filename().string().rfind("defaults.plist.corrupt-", 0) == 0;
    EXPECT_EQ(asideCount, 2);
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
        // Once it has saved at least once (a slow start, under a sanitizer
        // say, must not make every kill come before the first save).
        for (int waited = 0; round == 0 && !fs::exists(dir.path() / "defaults.plist") && waited < 2000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
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

// Two stores on one profile stand for two processes: each change is applied
// to what the file holds now, so neither writes the other's keys away, and
// each takes the other's values before it answers a read.
TEST(DefaultsStore, SharesOneProfileWithAnotherWriter) {
    TempDir dir;
    DefaultsStore app(dir.path()), tool(dir.path());
    std::vector<std::set<std::string>> told;
    app.addChangeObserver([&](const std::set<std::string>& keys) { told.push_back(keys); });
    EXPECT_TRUE(app.setObject("username", "u1"));
    EXPECT_TRUE(tool.setObject("presets", Value::list({"Evening"})));
    EXPECT_TRUE(app.setObject("makeAllGroup", true));  // must not drop "presets"
    EXPECT_EQ(tool.objectForKey("makeAllGroup"), Value(true));
    EXPECT_EQ(DefaultsStore(dir.path()).storedValues().size(), 3u);

    // A list changed through updateObject starts from what is stored now.
    EXPECT_TRUE(tool.updateObject("presets", [](const Value& current) {
        Value next = current;
        next.append("Night");
        return next;
    }));
    EXPECT_EQ(app.checkForChanges(), (std::set<std::string>{"presets"}));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(app.objectForKey("presets"), Value::list({"Evening", "Night"}));
    EXPECT_TRUE(app.checkForChanges().empty()) << "told once";
    tool.removeObject("username");
    EXPECT_FALSE(app.hasObject("username"));                                // a read takes the change too...
    EXPECT_EQ(app.checkForChanges(), (std::set<std::string>{"username"}));  // ...and it is still told
    EXPECT_EQ(told.size(), 2u);
}

// Processes appending to one list at the same moment: every item arrives.
TEST(DefaultsStore, KeepsEveryItemOfProcessesWritingAtOnce) {
    TempDir dir;
    constexpr int processes = 8, items = 10;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            DefaultsStore store(dir.path());
            bool ok = true;
            for (int i = 0; i < items; ++i) {
                ok &= store.updateObject("list", [&](const Value& current) {
                    Value next = current.isList() ? current : Value::emptyList();
                    next.append(p * 100 + i);
                    return next;
                });
                ok &= store.setObject("k" + std::to_string(p), i);
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    DefaultsStore store(dir.path());
    std::set<std::int64_t> seen;
    const Value list = store.objectForKey("list");
    for (const auto& v : list.asList()) seen.insert(v.integerValue());
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(processes * items));
    for (int p = 0; p < processes; ++p) EXPECT_EQ(store.integerForKey("k" + std::to_string(p)), items - 1);
}

// Only temporary files of writers that are gone are removed at start.
TEST(DefaultsStore, RemovesOnlyStaleTemporaryFiles) {
    TempDir dir;
    pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const auto stale = dir.path() / ("defaults.plist.tmp-" + std::to_string(gone) + "-a1B2c3");
    const auto live = dir.path() / ("defaults.plist.tmp-" + std::to_string(::getpid()) + "-a1B2c3");
    const auto unnamed = dir.path() / "defaults.plist.tmp-Xy12ab";  // written by an older version, just now
    for (const auto& p : {stale, live, unnamed}) std::ofstream(p) << "<plist>";
    DefaultsStore store(dir.path());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(unnamed));
}

// A profile that cannot be written: every change says so, is kept in memory
// and reaches the file with the first save that works again.
TEST(DefaultsStore, ReportsAFailedSaveAndWritesItLater) {
    TempDir dir;
    DefaultsStore store(dir.path());
    ASSERT_TRUE(store.setObject("kept", 1));
    // A directory where the lock file belongs stops every writer, root too.
    fs::remove(store.lockPath());
    fs::create_directory(store.lockPath());
    std::vector<std::string> reported;
    store.setSaveFailureObserver([&](const std::string& reason) { reported.push_back(reason); });
    LogCapture log;
    EXPECT_FALSE(store.setObject("username", "u1"));
    EXPECT_FALSE(store.removeObject("kept"));
    EXPECT_EQ(reported.size(), 2u);
    EXPECT_NE(store.lastSaveError().find("lock"), std::string::npos) << store.lastSaveError();
    EXPECT_TRUE(log.containsSubstring("cannot save settings: "));
    EXPECT_EQ(store.stringForKey("username"), "u1");  // this run goes on with it
    EXPECT_FALSE(DefaultsStore(dir.path()).hasObject("username"));
    EXPECT_FALSE(store.synchronize());

    fs::remove(store.lockPath());
    EXPECT_TRUE(store.synchronize());
    EXPECT_TRUE(store.lastSaveError().empty());
    DefaultsStore again(dir.path());
    EXPECT_EQ(again.stringForKey("username"), "u1");
    EXPECT_FALSE(again.hasObject("kept"));
}

// What a process that keeps a stored list in memory writes back, given the
// list as it last read it (base), its own list and what the store holds now.
TEST(StoredListMerge, KeepsWhatEitherSideDid) {
    auto L = [](std::initializer_list<const char*> items) {
        Value::List list;
        for (const char* i : items) list.emplace_back(i);
        return list;
    };
    struct Case {
        const char* what;
        Value::List base, ours, theirs, expected;
    } cases[] = {
        {"nothing changed here: theirs", L({"a"}), L({"a"}), L({"a", "x"}), L({"a", "x"})},
        {"nothing changed there: ours", L({"a"}), L({"a", "b"}), L({"a"}), L({"a", "b"})},
        {"both added: theirs first", L({"a"}), L({"a", "b"}), L({"a", "x"}), L({"a", "x", "b"})},
        {"we removed, they added", L({"a", "b"}), L({"b"}), L({"a", "b", "x"}), L({"b", "x"})},
        {"they removed, we added", L({"a", "b"}), L({"a", "b", "c"}), L({"b"}), L({"b", "c"})},
        {"we changed one: in its place", L({"a", "b", "c"}), L({"a", "B", "c"}), L({"x", "a", "b", "c"}),
         L({"x", "a", "B", "c"})},
        {"both changed one: both kept", L({"a", "b"}), L({"a", "B"}), L({"a", "b2"}), L({"a", "b2", "B"})},
        {"they removed what we changed: ours kept", L({"a", "b"}), L({"a", "B"}), L({"a"}), L({"a", "B"})},
        {"duplicates count one by one", L({"a", "a"}), L({"a"}), L({"a", "a", "x"}), L({"a", "x"})},
        {"empty store, first save", L({}), L({"a"}), L({}), L({"a"})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Value(glowmere::platform::mergeStoredList(c.base, c.ours, c.theirs)), Value(c.expected)) << c.what;
}

}  // namespace
