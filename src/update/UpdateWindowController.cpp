#include "update/UpdateWindowController.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/HttpClient.h"
#include "platform/Log.h"

namespace glowmere {

namespace {

bool isHttpURL(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

UpdateWindowController::NewsFormat newsFormatOf(const std::string& url, const std::string& text) {
    auto first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && text[first] == '<') return UpdateWindowController::NewsFormat::Html;
    std::string path = url.substr(0, url.find_first_of("?#"));
    if (path.ends_with(".md") || path.ends_with(".markdown")) return UpdateWindowController::NewsFormat::Markdown;
    return UpdateWindowController::NewsFormat::Plain;
}

// A temporary file in the download folder that removes itself unless it was
// moved to its final name.
class PartFile {
public:
    explicit PartFile(const std::filesystem::path& folder) {
        std::string pattern = (folder / ".glowmere-download-XXXXXX").string();
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ >= 0) path_ = pattern;
    }
    ~PartFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    bool ok() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }
    bool write(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    // Flushed to disk and closed; the file is the caller's to move.
    bool finish() {
        bool ok = ::fsync(fd_) == 0;
        ok = ::close(fd_) == 0 && ok;
        fd_ = -1;
        return ok;
    }
    void keep() { path_.clear(); }

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace

UpdateWindowController::UpdateWindowController(platform::HttpDownloader& http, platform::DefaultsStore& defaults,
                                               std::string runningVersion)
    : http_(http), defaults_(defaults), runningVersion_(std::move(runningVersion)) {}

void UpdateWindowController::setDownloadFolder(std::filesystem::path folder) {
    std::lock_guard lock(mutex_);
    downloadFolder_ = std::move(folder);
}

void UpdateWindowController::setObserver(std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void UpdateWindowController::setInstalledFromPackage(bool fromPackage) {
    change([&](State& s) {
        s.fromPackage = fromPackage;
        s.packageHint = fromPackage ? "Glowmere was installed from its Debian package. Update it with your system's "
                                      "package manager (for example: sudo apt update && sudo apt upgrade)."
                                    : "";
    });
}

std::string UpdateWindowController::updateServer() const {
    std::string base = defaults_.stringForKey(updateServerKey);
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::string UpdateWindowController::serverURL(const std::string& path) const {
    std::string base = updateServer();
    if (base.find("://") == std::string::npos) base = "http://" + base;
    return base + path;
}

UpdateWindowController::State UpdateWindowController::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::optional<update::VersionList> UpdateWindowController::currentVersionDictionary() const {
    std::lock_guard lock(mutex_);
    return currentVersionDictionary_;
}

void UpdateWindowController::change(const std::function<void(State&)>& edit) {
    std::function<void()> observer;
    {
        std::lock_guard lock(mutex_);
        edit(state_);
        observer = observer_;
    }
    if (observer) observer();
}

bool UpdateWindowController::currentVersionIsHigherThanThisVersion(const std::string& serverVersion) const {
    return update::versionIsHigher(serverVersion, runningVersion_);
}

UpdateWindowController::CheckResult UpdateWindowController::readVersionList(std::string* problem) {
    if (updateServer().empty()) return CheckResult::NoServer;
    const std::string url = serverURL(versionListPath);
    std::string error;
    auto text = platform::fetchLimited(http_, url, maxVersionListBytes, &error, &cancelled_);
    if (!text) {
        // An unreachable server is no news; a reply that is too big is a
        // hostile one and is said once.
        if (error.find("longer than") != std::string::npos)
            platform::log("ignoring the update server's version list at " + url + ": " + error);
        if (problem) *problem = error;
        return CheckResult::Unreadable;
    }
    std::string why;
    auto list = update::parseVersionList(*text, &why);
    if (!list) {
        platform::log("ignoring the update server's version list at " + url + ": " + why);
        if (problem) *problem = why;
        return CheckResult::Unreadable;
    }
    {
        std::lock_guard lock(mutex_);
        currentVersionDictionary_ = *list;
    }
    return currentVersionIsHigherThanThisVersion(list->currentversion) ? CheckResult::Newer : CheckResult::NotNewer;
}

UpdateWindowController::CheckResult UpdateWindowController::checkForUpdates() {
    CheckResult result = readVersionList();
    if (result != CheckResult::Newer) return result;
    auto list = *currentVersionDictionary();
    // The version the user skipped is not offered again; a later one is.
    if (!list.currentversion.empty() && defaults_.stringForKey(skippedVersionKey) == list.currentversion) return result;
    fetchNews(list.newinthisversionurl);
    change([&](State& s) {
        s.version = platform::sanitizeUtf8(list.currentversion);
        s.releaseDate = platform::sanitizeUtf8(list.releasedate);
    });
    if (updateWindow_) {
        updateWindow_->center();
        updateWindow_->makeKeyAndOrderFront();
    }
    return result;
}

void UpdateWindowController::fetchNews(const std::string& url) {
    std::string error;
    std::string text;
    bool read = false;
    if (!isHttpURL(url)) {
        error = "it is not an http or https address";
    } else if (auto fetched = platform::fetchLimited(http_, url, maxNewsBytes, &error, &cancelled_)) {
        text = std::move(*fetched);
        read = true;
        if (text.find("{\\rtf") != std::string::npos && text.find("{\\rtf") == text.find_first_not_of(" \t\r\n")) {
            error = "rich text format cannot be shown";
            read = false;
        }
    }
    if (!read) {
        platform::log("error making string from data at " + url + " - error " + error);
        return;
    }
    std::string news = platform::sanitizeUtf8(text);
    NewsFormat format = newsFormatOf(url, news);
    change([&](State& s) {
        s.news = std::move(news);
        s.newsFormat = format;
    });
}

std::optional<std::filesystem::path> UpdateWindowController::loadUpdate() {
    auto list = currentVersionDictionary();
    if (!list || state().fromPackage) return std::nullopt;
    if (downloadRunning_.exchange(true)) return std::nullopt;
    struct Done {
        std::atomic<bool>& flag;
        ~Done() { flag = false; }
    } done{downloadRunning_};

    std::string why;
    auto name = update::downloadFileName(list->downloadurl, &why);
    if (!name)
        return refuseDownload("The download was not started: its file name is not safe to use (" + why + ").", false);
    if (!isHttpURL(list->downloadurl))
        return refuseDownload("The download was not started: it is not an http or https address.", false);
    std::filesystem::path folder;
    {
        std::lock_guard lock(mutex_);
        folder = downloadFolder_;
    }
    std::error_code made;
    if (folder.empty() || (!std::filesystem::create_directories(folder, made) && made))
        return refuseDownload("The download was not started: there is no download folder (" + folder.string() + ").",
                              false);
    PartFile part(folder);
    if (!part.ok())
        return refuseDownload(
            "The download was not started: cannot write in " + folder.string() + " (" + std::strerror(errno) + ").",
            false);

    change([](State& s) {
        s.downloading = true;
        s.progress = {};
        s.message.clear();
        s.saved.reset();
    });
    update::Sha256 checksum;
    auto refused = receiveDownload(*list, [&](std::string_view piece, std::string& error) {
        checksum.add(piece);
        if (part.write(piece)) return true;
        error = std::strerror(errno);
        return false;
    });
    if (refused) return refuseDownload(*refused, true);
    if (!list->downloadsha256.empty() && checksum.hexDigest() != list->downloadsha256)
        return refuseDownload(
            "The download was refused: its SHA-256 checksum differs from the one in the version list. "
            "Nothing was saved.",
            true);
    if (!part.finish())
        return refuseDownload(
            "The download could not be saved in " + folder.string() + ": " + std::strerror(errno) + ".", true);
    auto saved = update::publishWithoutReplacing(part.path(), folder, *name, &why);
    if (!saved) return refuseDownload("The download could not be saved in " + folder.string() + ": " + why + ".", true);
    part.keep();
    openSavedDownload(*saved);
    return saved;
}

std::nullopt_t UpdateWindowController::refuseDownload(const std::string& message, bool started) {
    if (!started) platform::log("Updateconnection can't be created");
    platform::log(message);
    change([&](State& s) {
        s.downloading = false;
        s.message = message;
    });
    return std::nullopt;
}

std::optional<std::string> UpdateWindowController::receiveDownload(
    const update::VersionList& list, const std::function<bool(std::string_view, std::string&)>& write) {
    std::string error;
    // Refused as soon as the file says (or proves) it is bigger than allowed.
    const std::uint64_t limit = update::downloadLimit(list);
    std::uint64_t received = 0;
    std::optional<std::uint64_t> announced;
    std::string tooBig;
    auto refuseSize = [&] {
        tooBig = "The download was refused: it is larger than " + std::to_string(limit) + " bytes, " +
                 (list.downloadsize ? "twice the size the version list gives"
                                    : "the most a download without a size in the version list may have") +
                 ". Nothing was saved.";
    };
    const bool ok = http_.download(
        platform::HttpDownloader::Request{list.downloadurl, std::chrono::milliseconds(30000),
                                          std::chrono::milliseconds(30000), &cancelled_},
        [&](std::string_view piece) {
            received += piece.size();
            if (received > limit || (announced && *announced > limit)) {
                refuseSize();
                return false;
            }
            return write(piece, error);
        },
        [&](const platform::HttpDownloader::Progress& progress) {
            announced = progress.total;
            change([&](State& s) { s.progress = progress; });
        },
        &error);
    // The size the server announced is known after the first piece only.
    if (tooBig.empty() && announced && *announced > limit) refuseSize();
    if (!tooBig.empty()) {
        platform::log("update connection failed");
        return tooBig;
    }
    if (!ok) {
        platform::log("update connection failed");
        return "The download failed: " + error + ". Nothing was saved.";
    }
    return std::nullopt;
}

void UpdateWindowController::openSavedDownload(const std::filesystem::path& saved) {
    // Only a package or an archive goes to the opener, and the application
    // ends only when the opener took it: otherwise the window stays and says
    // where the file is.
    std::string message = "Saved as " + saved.string();
    bool opened = false;
    if (!update::isOpenableDownload(saved.filename().string()))
        message += ". Glowmere does not open files of this type; open it from its folder.";
    else if (!workspace_ || !(opened = workspace_->openFile(saved.string())))
        message += ". No program could open it; open it from its folder.";
    change([&](State& s) {
        s.downloading = false;
        s.saved = saved;
        s.message = message;
    });
    std::function<void()> terminate;
    {
        std::lock_guard lock(mutex_);
        terminate = terminate_;
    }
    if (opened && terminate) terminate();
}

void UpdateWindowController::skipThisVersion() {
    if (auto list = currentVersionDictionary()) defaults_.setObject(skippedVersionKey, list->currentversion);
    if (updateWindow_) updateWindow_->orderOut();
}

void UpdateWindowController::notNow() {
    if (updateWindow_) updateWindow_->orderOut();
}

void UpdateWindowController::visitUpdate() {
    if (workspace_ && !updateServer().empty()) workspace_->openURL(serverURL("/glowmere"));
}

}  // namespace glowmere
