// The update check against a real HTTP server on loopback, started here.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/DefaultsStore.h"
#include "platform/HttpDownload.h"
#include "platform/Log.h"
#include "support/FakeUi.h"
#include "support/FakeViews.h"
#include "support/TempDir.h"
#include "update/UpdateWindowController.h"

namespace glowmere {
namespace {

using testing::FakeWindow;
using testing::FakeWorkspace;
using testing::TempDir;

// An update server: fixed replies by path, each request counted. A reply
// may promise more bytes than it sends (a download cut short).
class UpdateServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        std::size_t promised = 0;  // > body size: the connection drops after the body
    };

    UpdateServer() {
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Reply reply;
            {
                std::lock_guard lock(mutex_);
                ++hits_[req.path];
                auto found = replies_.find(req.path);
                if (found == replies_.end()) {
                    res.status = 404;
                    return;
                }
                reply = found->second;
            }
            res.status = reply.status;
            if (reply.promised > reply.body.size()) {
                res.set_content_provider(reply.promised, "application/octet-stream",
                                         [body = reply.body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                             if (offset < body.size())
                                                 sink.write(body.data() + offset, body.size() - offset);
                                             return offset < body.size();
                                         });
            } else {
                res.set_content(reply.body, "application/octet-stream");
            }
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~UpdateServer() {
        server_.stop();
        thread_.join();
    }

    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void serve(const std::string& path, Reply reply) {
        std::lock_guard lock(mutex_);
        replies_[path] = std::move(reply);
    }
    int hits(const std::string& path) {
        std::lock_guard lock(mutex_);
        return hits_[path];
    }
    int allHits() {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& [path, count] : hits_) n += count;
        return n;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::map<std::string, int> hits_;
};

std::string versionList(const std::string& version, const std::string& downloadURL, const std::string& newsURL = "",
                        const std::string& extraMembers = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + extraMembers +
           "<key>currentversion</key><string>" + version +
           "</string>"
           "<key>newinthisversionurl</key><string>" +
           newsURL +
           "</string>"
           "<key>releasedate</key><string>14 June 2012</string>"
           "<key>downloadurl</key><string>" +
           downloadURL + "</string></dict></plist>";
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateCheckTest() : controller(downloader, defaults, "1.4.9") {
        defaults.setObject(UpdateWindowController::updateServerKey, server.base());
        controller.setUpdateWindow(&window);
        controller.setWorkspace(&workspace);
        controller.setTerminate([this] { ++terminations; });
        controller.setDownloadFolder(downloads.path());
    }
    void serveList(const std::string& version, const std::string& file = "/files/App-2.1.tar.gz",
                   const std::string& extraMembers = "") {
        server.serve(UpdateWindowController::versionListPath,
                     {200, versionList(version, server.base() + file, server.base() + "/news.html", extraMembers)});
    }

    UpdateServer server;
    TempDir downloads;
    platform::DefaultsStore defaults;
    platform::CurlHttpDownloader downloader;
    FakeWindow window;
    FakeWorkspace workspace;
    int terminations = 0;
    UpdateWindowController controller;
};

TEST_F(UpdateCheckTest, ShowsTheWindowExactlyWhenTheServersVersionIsHigher) {
    struct Case {
        const char* server;
        const char* running;
        bool shown;
    };
    const Case cases[] = {
        {"1.5", "1.4.9", true},                            // a higher minor beats any patch
        {"1.4", "1.4.0", false},                           // a missing part counts 0: equal
        {"3", "2.9", true},                                // one part
        {"2.0.0.1", "1.0", false},                         // four parts: never an update
        {"2.1", "2.0.9", true},    {"2.10", "2.9", true},  // numbers, not text
        {"2.0", "2.0.0", false},                           // equal
        {"1.2", "1.2.3.4", false},                         // four parts running: no update either
        {"10b2", "9", true},                               // leading digits count
        {"beta", "0.0.1", false},                          // no digits: 0
        {"1.-1", "1.0", false},                            // a sign is read
    };
    server.serve("/news.html", {200, "<h1>New</h1><p>Faster.</p>"});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " against " + c.running);
        UpdateWindowController check(downloader, defaults, c.running);
        FakeWindow shownIn;
        check.setUpdateWindow(&shownIn);
        serveList(c.server);
        auto result = check.checkForUpdates();
        EXPECT_EQ(result == UpdateWindowController::CheckResult::Newer, c.shown);
        EXPECT_EQ(shownIn.frontCount(), c.shown ? 1 : 0);
        EXPECT_EQ(shownIn.centerCount(), c.shown ? 1 : 0);
        if (c.shown) {
            auto state = check.state();
            EXPECT_EQ(state.version, c.server);
            EXPECT_EQ(state.releaseDate, "14 June 2012");
            EXPECT_EQ(state.newsFormat, UpdateWindowController::NewsFormat::Html);
            EXPECT_NE(state.news.find("Faster."), std::string::npos);
        }
    }
}

TEST_F(UpdateCheckTest, NoServerMeansNoRequestAndAnUnreadableNewsDocumentOnlyLogs) {
    defaults.setObject(UpdateWindowController::updateServerKey, "");
    EXPECT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::NoServer);
    EXPECT_EQ(server.allHits(), 0);

    defaults.setObject(UpdateWindowController::updateServerKey, server.base());
    serveList("2.0");  // the news document is not there
    platform::LogCapture log;
    EXPECT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::Newer);
    EXPECT_EQ(window.frontCount(), 1);
    EXPECT_TRUE(log.containsSubstring("error making string from data at " + server.base() + "/news.html - error "));
}

TEST_F(UpdateCheckTest, AHostileVersionListShowsNothingAndLogsOneLine) {
    const std::string huge(UpdateWindowController::maxVersionListBytes + 1, 'x');
    const std::pair<const char*, std::string> cases[] = {
        {"not a property list", "<html><body>Not found</body></html>"},
        {"binary junk", std::string("\x00\xff\xfe<plist", 8)},
        {"an array at the top", "<plist version=\"1.0\"><array><string>2.0</string></array></plist>"},
        {"a number for the version",
         "<plist><dict><key>currentversion</key><integer>9</integer><key>newinthisversionurl</key><string/>"
         "<key>releasedate</key><string/><key>downloadurl</key><string/></dict></plist>"},
        {"a member missing", "<plist><dict><key>currentversion</key><string>9.0</string></dict></plist>"},
        {"a huge text", versionList(std::string(5000, '9'), "http://x/a.deb")},
        {"a huge reply", huge},
    };
    for (const auto& [what, body] : cases) {
        SCOPED_TRACE(what);
        server.serve(UpdateWindowController::versionListPath, {200, body});
        platform::LogCapture log;
        EXPECT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::Unreadable);
        EXPECT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(window.frontCount(), 0);
    }
}

TEST_F(UpdateCheckTest, ADownloadIsSavedUnderItsNameOpenedAndEndsTheApplication) {
    serveList("2.1");
    server.serve("/files/App-2.1.tar.gz", {200, "first download, the longer one"});
    ASSERT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::Newer);

    auto saved = controller.loadUpdate();
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, downloads.path() / "App-2.1.tar.gz");
    EXPECT_EQ(slurp(*saved), "first download, the longer one");
    ASSERT_EQ(workspace.files.size(), 1u);
    EXPECT_EQ(workspace.files[0], saved->string());
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(controller.state().downloading);

    // A second download in the same run starts afresh and keeps the first
    // file; when no program takes it the application goes on and says where
    // it is.
    server.serve("/files/App-2.1.tar.gz", {200, "second"});
    workspace.opens = false;
    auto again = controller.loadUpdate();
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, downloads.path() / "App-2.1 (1).tar.gz");
    EXPECT_EQ(slurp(*again), "second");
    EXPECT_EQ(slurp(downloads.path() / "App-2.1.tar.gz"), "first download, the longer one");
    EXPECT_EQ(filesIn(downloads.path()), (std::vector<std::string>{"App-2.1 (1).tar.gz", "App-2.1.tar.gz"}));
    EXPECT_EQ(terminations, 1);
    EXPECT_NE(controller.state().message.find(again->string()), std::string::npos);

    // A file that is no package or archive is saved but never opened.
    serveList("2.1", "/files/notes.html");
    server.serve("/files/notes.html", {200, "<script>"});
    ASSERT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::Newer);
    ASSERT_TRUE(controller.loadUpdate());
    EXPECT_EQ(workspace.files.size(), 2u);
    EXPECT_EQ(terminations, 1);
}

TEST_F(UpdateCheckTest, ATooLargeOrWrongChecksumDownloadIsRefusedAndLeavesNoFile) {
    const std::string body = "twenty bytes of data";  // 20 bytes
    // Its SHA-256 with the last digit changed.
    const std::string wrongSha = "49536ab056d146518b2280c4412038953f0c7f5c86c128c6d51c95d3547a1675";
    struct Case {
        const char* what;
        std::string members;   // extra version list members
        std::size_t promised;  // > body: the server announces more than it sends
        bool saved;
    };
    const Case cases[] = {
        {"more than twice the given size", "<key>downloadsize</key><integer>9</integer>", 0, false},
        {"just twice the given size", "<key>downloadsize</key><string>10</string>", 0, true},
        {"no size, 300 MB announced", "", 300u * 1024 * 1024, false},
        {"a wrong SHA-256", "<key>downloadsha256</key><string>" + wrongSha + "</string>", 0, false},
        {"the right SHA-256 in capitals",
         "<key>downloadsha256</key><string>"
         "49536AB056D146518B2280C4412038953F0C7F5C86C128C6D51C95D3547A1674</string>",
         0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        server.serve("/files/App-2.1.tar.gz", {200, body, c.promised});
        serveList("2.1", "/files/App-2.1.tar.gz", c.members);
        ASSERT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::Newer);
        EXPECT_EQ(controller.loadUpdate().has_value(), c.saved);
        EXPECT_EQ(filesIn(downloads.path()).size(), c.saved ? 1u : 0u);
        if (!c.saved) {
            EXPECT_NE(controller.state().message.find("refused"), std::string::npos) << controller.state().message;
        }
        std::filesystem::remove_all(downloads.path());
        std::filesystem::create_directories(downloads.path());
    }
}

TEST_F(UpdateCheckTest, ASkippedVersionIsNotOfferedAgainAndAPackagedInstallDownloadsNothing) {
    serveList("2.1");
    ASSERT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::Newer);
    controller.skipThisVersion();
    EXPECT_EQ(window.orderOutCount(), 1);
    EXPECT_EQ(defaults.stringForKey(UpdateWindowController::skippedVersionKey), "2.1");
    controller.checkForUpdates();
    EXPECT_EQ(window.frontCount(), 1);
    serveList("2.2");
    controller.checkForUpdates();
    EXPECT_EQ(window.frontCount(), 2);

    // Installed by the package manager: the window says so and nothing is fetched.
    controller.setInstalledFromPackage(true);
    EXPECT_NE(controller.state().packageHint.find("package manager"), std::string::npos);
    EXPECT_FALSE(controller.loadUpdate());
    EXPECT_EQ(server.hits("/files/App-2.1.tar.gz"), 0);
}

TEST_F(UpdateCheckTest, UnsafeNamesAndFailedDownloadsSaveNothing) {
    struct Case {
        const char* what;
        std::string path;  // of the download URL
        bool requested;    // the file was asked for at all
    };
    const Case cases[] = {
        {"dot dot", "/files/..", false},
        {"an encoded slash", "/files/a%2Fb", false},
        {"no name", "/files/", false},
        {"a control character", "/files/a%0Ab.deb", false},
        {"an encoded dot dot", "/files/%2E%2E", false},
        {"not found", "/files/missing.deb", true},
        {"cut short", "/files/short.deb", true},
    };
    server.serve("/files/short.deb", {200, "only the start", 4096});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serveList("2.1", c.path);
        ASSERT_EQ(controller.checkForUpdates(), UpdateWindowController::CheckResult::Newer);
        platform::LogCapture log;
        EXPECT_FALSE(controller.loadUpdate());
        EXPECT_EQ(server.hits(c.path) > 0, c.requested);
        EXPECT_TRUE(filesIn(downloads.path()).empty());  // neither the file nor a partial one
        EXPECT_FALSE(controller.state().message.empty());
        EXPECT_FALSE(log.lines().empty());
    }
    EXPECT_TRUE(workspace.files.empty());
    EXPECT_EQ(terminations, 0);
}

TEST(UpdateFilesTest, NamesComeFromTheLastPathComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/files/App-2.1.deb", "App-2.1.deb"},
        {"http://h/files/App%202.1.deb?token=1#x", "App 2.1.deb"},
        {"https://h/a/b/c.tar.gz", "c.tar.gz"},
        {"http://h", nullptr},
        {"http://h/a%2", nullptr},
        {"http://h/a%5Cb", nullptr},
    };
    for (const auto& [url, name] : cases) {
        SCOPED_TRACE(url);
        auto got = update::downloadFileName(url);
        EXPECT_EQ(got.has_value(), name != nullptr);
        if (name && got) {
            EXPECT_EQ(*got, name);
        }
    }
    EXPECT_EQ(update::numberedFileName("App-2.1.deb", 2), "App-2.1 (2).deb");
    EXPECT_EQ(update::numberedFileName("App-2.1.tar.xz", 1), "App-2.1 (1).tar.xz");
    EXPECT_EQ(update::numberedFileName(".profile", 1), ".profile (1)");
    EXPECT_EQ(update::numberedFileName(".tar.gz", 1), ".tar.gz (1)");
    // Only packages and archives go to the desktop's opener.
    for (const char* name : {"a.deb", "a.TAR.GZ", "a.tar.xz", "a.zip", "Glowmere-2.AppImage"})
        EXPECT_TRUE(update::isOpenableDownload(name)) << name;
    for (const char* name : {"a.html", "a.sh", "a.desktop", "a.gz.exe", "deb", ".zip", "a.tar"})
        EXPECT_FALSE(update::isOpenableDownload(name)) << name;
}

TEST(UpdateFilesTest, TheDebianPackageIsRecognisedByItsFileListOnly) {
    TempDir info;
    const std::filesystem::path program = "/usr/bin/env";  // under /usr on every Debian system
    EXPECT_FALSE(update::installedFromDebianPackage(program, "glowmere", info.path()));
    std::ofstream(info.path() / "glowmere:amd64.list") << "/.\n/usr\n/usr/bin\n/usr/bin/env\n";
    EXPECT_TRUE(update::installedFromDebianPackage(program, "glowmere", info.path()));
    EXPECT_FALSE(update::installedFromDebianPackage(program, "glowmere-other", info.path()));
    // Outside /usr (a build tree, a home folder) it never counts.
    std::ofstream(info.path() / "glowmere.list") << info.path().string() << "\n";
    EXPECT_FALSE(update::installedFromDebianPackage(info.path(), "glowmere", info.path()));
}

}  // namespace
}  // namespace glowmere
