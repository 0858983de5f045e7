#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/DefaultsStore.h"
#include "platform/HttpDownload.h"
#include "platform/Ui.h"
#include "platform/Views.h"
#include "update/UpdateFiles.h"

namespace glowmere {

// The update check: at start-up it reads the version list from the update
// server ("updateServer"; empty means no check and no request at all), and
// when the server's version is higher than the running one (and not the
// version the user chose to skip) it fills the update window and shows it.
// Download saves the new version in the user's download folder under a
// checked name, refusing a file larger than the version list allows or whose
// SHA-256 differs from the list's; a package or archive is then handed to the
// desktop's opener, and only when the opener started is the application asked
// to quit. Where Glowmere came from its Debian package, the window points to
// the package manager instead of offering the download.
//
// The check and the download block their thread for their requests; the
// desktop application runs them on threads of their own, never on the window
// thread. The window reads what to show through `state()` from any thread
// and is told of every change through the observer.
class UpdateWindowController {
public:
    static constexpr const char* updateServerKey = "updateServer";
    static constexpr const char* versionListPath = "/glowmere/updates/currentversion.plist";
    static constexpr std::size_t maxVersionListBytes = 64 * 1024;
    static constexpr std::size_t maxNewsBytes = 2 * 1024 * 1024;
    // The version the user chose to skip: a later check does not offer it.
    static constexpr const char* skippedVersionKey = "skippedVersion";

    enum class NewsFormat { Plain, Html, Markdown };

    // What the update window shows.
    struct State {
        std::string version;      // versionTextField
        std::string releaseDate;  // releaseDateTextField
        std::string news;         // updateTextView
        NewsFormat newsFormat = NewsFormat::Plain;
        bool downloading = false;  // progressIndicator turning
        platform::HttpDownloader::Progress progress;
        std::string message;  // a line under the buttons: what went wrong, where the file went
        std::optional<std::filesystem::path> saved;
        // Installed by the package manager: no download is offered, and
        // `packageHint` says how to update instead.
        bool fromPackage = false;
        std::string packageHint;
    };

    enum class CheckResult { NoServer, Unreadable, NotNewer, Newer };

    UpdateWindowController(platform::HttpDownloader& http, platform::DefaultsStore& defaults,
                           std::string runningVersion);

    // Outlets; any may be left unset.
    void setUpdateWindow(platform::Window* window) { updateWindow_ = window; }
    void setWorkspace(platform::Workspace* workspace) { workspace_ = workspace; }
    // Asked to end the application after a download was opened.
    void setTerminate(std::function<void()> terminate) {
        std::lock_guard lock(mutex_);
        terminate_ = std::move(terminate);
    }
    void setDownloadFolder(std::filesystem::path folder);
    // The running program came from the Debian package (the composition root
    // decides, see update::installedFromDebianPackage).
    void setInstalledFromPackage(bool fromPackage);
    // Told after every change of the state, on the changing thread.
    void setObserver(std::function<void()> observer);

    const std::string& runningVersion() const { return runningVersion_; }
    // The server's base address, or empty.
    std::string updateServer() const;

    // Reads the version list, compares, fills the window and shows it when
    // the server's version is higher.
    CheckResult checkForUpdates();
    // Reads and keeps the version list only; tells how it compares.
    CheckResult readVersionList(std::string* problem = nullptr);
    bool currentVersionIsHigherThanThisVersion(const std::string& serverVersion) const;
    std::optional<update::VersionList> currentVersionDictionary() const;

    // The download (blocks until it ends). Nothing happens without a version
    // list. The saved file, or nothing (the reason is in the state's message).
    std::optional<std::filesystem::path> loadUpdate();
    // Opens the application's page on the update server in the browser.
    void visitUpdate();
    // Skip this version: remembered in the defaults, the window closes.
    void skipThisVersion();
    // Not now: the window closes; the next start checks again.
    void notNow();
    // Ends a check or download under way soon, and any later one at once (the
    // application is quitting).
    void cancel() { cancelled_ = true; }

    State state() const;

private:
    void fetchNews(const std::string& url);
    // loadUpdate's steps. A refusal is logged and shown in the window
    // (`started`: after the download began); the download's own refusal or
    // failure comes back as the message to show; a saved file is handed to
    // the opener.
    std::nullopt_t refuseDownload(const std::string& message, bool started);
    std::optional<std::string> receiveDownload(const update::VersionList& list,
                                               const std::function<bool(std::string_view, std::string&)>& write);
    void openSavedDownload(const std::filesystem::path& saved);
    void change(const std::function<void(State&)>& edit);
    std::string serverURL(const std::string& path) const;

    platform::HttpDownloader& http_;
    platform::DefaultsStore& defaults_;
    std::string runningVersion_;
    platform::Window* updateWindow_ = nullptr;
    platform::Workspace* workspace_ = nullptr;
    std::function<void()> terminate_;  // mutex_: read on the download's thread

    mutable std::mutex mutex_;
    std::filesystem::path downloadFolder_;
    std::optional<update::VersionList> currentVersionDictionary_;
    State state_;
    std::function<void()> observer_;
    std::atomic<bool> downloadRunning_{false};
    std::atomic<bool> cancelled_{false};
};

}  // namespace glowmere
