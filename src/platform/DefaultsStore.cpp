#include "platform/DefaultsStore.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <date/date.h>

#include "platform/Log.h"
#include "platform/PropertyList.h"

namespace glowmere::platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* fileName = "defaults.plist";
constexpr const char* lockName = "defaults.plist.lock";
// A temporary file whose name carries no writer's pid (older versions) is
// taken for stale once it is this old; a save takes milliseconds.
constexpr auto unnamedTemporaryAge = std::chrono::hours(1);

std::string reasonOf(int error) {
    return std::strerror(error);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool readAll(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

// The advisory lock every writer of the profile takes around its
// read-modify-write; released when the object goes.
class FileLock {
public:
    explicit FileLock(const fs::path& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        // A lock file someone made read-only still locks.
        if (fd_ < 0 && errno == EACCES) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error_ = "cannot open the lock file " + path.string() + ": " + reasonOf(errno);
            return;
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            error_ = "cannot lock " + path.string() + ": " + reasonOf(errno);
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

// The pid in a temporary file's name ("defaults.plist.tmp-PID-XXXXXX"), if
// it carries one.
std::optional<pid_t> writerOf(std::string_view rest) {
    auto dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0) return std::nullopt;
    long pid = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + dash, pid);
    if (ec != std::errc() || end != rest.data() + dash || pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool processIsGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Makes the missing folders of `dir`, each open to its owner only: the
// profile holds the bridge's user name.
void createPrivateDirectories(const fs::path& dir, std::error_code& ec) {
    if (dir.empty() || dir.parent_path() == dir || fs::exists(dir, ec)) return;
    createPrivateDirectories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) ec = std::error_code(errno, std::generic_category());
}

}  // namespace

bool writeFileAtomically(const fs::path& path, std::string_view contents, unsigned mode, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + reasonOf(errno);
        return false;
    };
    std::error_code ec;
    createPrivateDirectories(path.parent_path(), ec);
    // The pid in the name tells others whether the writer is still there.
    std::string tmpl =
        (path.parent_path() / (path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return fail("cannot create a temporary file beside " + path.string());
    ::fchmod(fd, static_cast<mode_t>(mode));
    if (!writeAll(fd, contents) || ::fsync(fd) != 0) {
        int saved = errno;
        ::close(fd);
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot write " + tmpl);
    }
    if (::close(fd) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot write " + tmpl);
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot replace " + path.string());
    }
    // Make the rename itself durable.
    int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

fs::path DefaultsStore::defaultDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute()) return fs::path(xdg) / "glowmere";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".config" / "glowmere";
}

DefaultsStore::DefaultsStore(fs::path directory) : directory_(std::move(directory)) {
    removeStaleTemporaryFiles();
    std::lock_guard lock(mutex_);
    refreshLocked();
    changedKeys_.clear();  // the first reading is no change
}

DefaultsStore::DefaultsStore() : persistent_(false) {}

std::optional<fs::path> DefaultsStore::movedAsideFile() const {
    std::lock_guard lock(mutex_);
    return movedAside_;
}

fs::path DefaultsStore::filePath() const {
    return directory_ / fileName;
}

fs::path DefaultsStore::lockPath() const {
    return directory_ / lockName;
}

void DefaultsStore::removeStaleTemporaryFiles() const {
    const std::string prefix = std::string(fileName) + ".tmp-";
    std::error_code ec;
    for (fs::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        std::error_code ignored;
        if (auto pid = writerOf(std::string_view(name).substr(prefix.size()))) {
            // Another process's save may be under way: only a file whose
            // writer is gone is of no use to anyone.
            if (processIsGone(*pid)) fs::remove(it->path(), ignored);
            continue;
        }
        auto written = fs::last_write_time(it->path(), ignored);
        if (!ignored && fs::file_time_type::clock::now() - written > unnamedTemporaryAge)
            fs::remove(it->path(), ignored);
    }
}

DefaultsStore::FileIdentity DefaultsStore::identityNow() const {
    struct stat st {};
    if (::stat(filePath().c_str(), &st) != 0) return {};
    return {true,
            st.st_dev,
            st.st_ino,
            st.st_size,
            st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
}

DefaultsStore::ReadResult DefaultsStore::readFile(Value::Map& into, std::string& error) const {
    fs::path path = filePath();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ReadResult::Absent;
        error = "cannot open " + path.string() + ": " + reasonOf(errno);
        return ReadResult::Unreadable;
    }
    std::string text;
    bool ok = readAll(fd, text);
    int saved = errno;
    ::close(fd);
    if (!ok) {
        error = "cannot read " + path.string() + ": " + reasonOf(saved);
        return ReadResult::Unreadable;
    }
    auto value = readPropertyList(text, &error);
    if (value && value->isMap()) {
        into = std::move(value->asMap());
        return ReadResult::Read;
    }
    if (value) error = "the top level is not a dictionary";
    return ReadResult::Corrupt;
}

void DefaultsStore::moveAside(const std::string& why) const {
    fs::path path = filePath();
    auto stamp =
        date::format("%Y%m%dT%H%M%S", std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    fs::path aside = path;
    aside += ".corrupt-" + stamp;
    for (int n = 1; fs::exists(aside); ++n) {
        aside = path;
        aside += ".corrupt-" + stamp + "-" + std::to_string(n);
    }
    std::error_code ec;
    fs::rename(path, aside, ec);
    if (ec) {
        log("defaults file " + path.string() + " cannot be read (" + why + ") nor moved aside (" + ec.message() +
            "); settings will not be saved");
        return;
    }
    // The copy keeps the user name it may hold as private as the profile.
    fs::permissions(aside, fs::perms::owner_read | fs::perms::owner_write, ec);
    movedAside_ = aside;
    log("defaults file " + path.string() + " cannot be read (" + why + "); kept as " + aside.string() +
        ", starting with empty settings");
}

void DefaultsStore::adoptLocked(Value::Map disk) const {
    // Keys changed here but not yet written keep the values from memory.
    for (const auto& key : unsaved_) {
        auto ours = stored_.find(key);
        if (ours == stored_.end())
            disk.erase(key);
        else
            disk[key] = ours->second;
    }
    for (const auto& [key, value] : disk) {
        auto ours = stored_.find(key);
        if (ours == stored_.end() || !(ours->second == value)) changedKeys_.insert(key);
    }
    for (const auto& [key, value] : stored_)
        if (!disk.count(key)) changedKeys_.insert(key);
    stored_ = std::move(disk);
}

bool DefaultsStore::loadWithFileLockLocked(std::string& error) const {
    Value::Map disk;
    std::string why;
    switch (readFile(disk, why)) {
        case ReadResult::Absent:
            adoptLocked({});
            break;
        case ReadResult::Read:
            adoptLocked(std::move(disk));
            break;
        case ReadResult::Unreadable:
            // It exists but cannot be read here: writing over it would lose
            // whatever it holds.
            error = why + "; it is not overwritten";
            identity_ = identityNow();
            return false;
        case ReadResult::Corrupt:
            // Never overwritten: moved aside, and the values in memory stay, to
            // be written with the next save.
            moveAside(why);
            if (identityNow().exists) {
                error = "the unreadable " + filePath().string() + " could not be moved aside";
                identity_ = identityNow();
                return false;
            }
            for (const auto& [key, value] : stored_) unsaved_.insert(key);
            break;
    }
    identity_ = identityNow();
    return true;
}

void DefaultsStore::refreshLocked() const {
    if (!persistent_) return;
    FileIdentity now = identityNow();
    if (now == identity_) return;
    Value::Map disk;
    std::string error;
    switch (readFile(disk, error)) {
        case ReadResult::Absent:
            adoptLocked({});
            break;
        case ReadResult::Read:
            adoptLocked(std::move(disk));
            break;
        case ReadResult::Unreadable:
            log("defaults file " + filePath().string() + " cannot be read (" + error +
                "); the settings in memory stay");
            break;
        case ReadResult::Corrupt: {
            // Moved aside under the lock, so no other process's fresh save is
            // taken for the broken file.
            FileLock lock(lockPath());
            if (lock.held()) {
                std::string ignored;
                loadWithFileLockLocked(ignored);
                return;
            }
            log("defaults file " + filePath().string() + " cannot be read (" + error + ") nor moved aside (" +
                lock.error() + "); the settings in memory stay");
            break;
        }
    }
    identity_ = now;
}

bool DefaultsStore::commitLocked(const std::function<void()>& apply, std::string& error) {
    std::error_code ec;
    createPrivateDirectories(directory_, ec);
    FileLock lock(lockPath());
    if (!lock.held()) {
        error = lock.error();
        refreshLocked();
        apply();
        return false;
    }
    bool loaded = loadWithFileLockLocked(error);
    apply();
    if (!loaded) return false;
    bool written = writeFileAtomically(filePath(), writePropertyList(Value(stored_)), 0600, &error);
    // Nobody else writes while the lock is held, so this is our own file.
    identity_ = identityNow();
    return written;
}

bool DefaultsStore::change(std::string_view key, const std::function<Value(const Value&)>& apply) {
    std::string error;
    {
        std::lock_guard lock(mutex_);
        std::string name(key);
        auto applyNow = [&] {
            auto it = stored_.find(key);
            Value next = apply(it == stored_.end() ? Value() : it->second);
            if (next.isNull())
                stored_.erase(name);
            else
                stored_[name] = std::move(next);
        };
        if (!persistent_) {
            applyNow();
            return true;
        }
        // Read the file again under the lock, apply this one change to what
        // it holds (and any earlier one that could not be written), write.
        if (commitLocked(applyNow, error)) {
            unsaved_.clear();
            lastSaveError_.clear();
            return true;
        }
        unsaved_.insert(name);
        lastSaveError_ = error;
    }
    reportFailure(error);
    return false;
}

void DefaultsStore::reportFailure(const std::string& error) {
    ++failedSaves_;
    log("cannot save settings: " + error);
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard lock(observerMutex_);
        observer = saveFailureObserver_;
    }
    if (observer) observer(error);
}

Value DefaultsStore::objectForKey(std::string_view key) const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    if (auto it = stored_.find(key); it != stored_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return {};
}

bool DefaultsStore::hasObject(std::string_view key) const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    return stored_.count(key) > 0 || registered_.count(key) > 0;
}

bool DefaultsStore::hasStoredObject(std::string_view key) const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    return stored_.count(key) > 0;
}

std::string DefaultsStore::stringForKey(std::string_view key) const {
    Value v = objectForKey(key);
    return v.isText() ? v.text() : v.isNumber() && !v.isBool() ? v.textValue() : std::string();
}

bool DefaultsStore::boolForKey(std::string_view key) const {
    return objectForKey(key).boolValue();
}

std::int64_t DefaultsStore::integerForKey(std::string_view key) const {
    return objectForKey(key).integerValue();
}

double DefaultsStore::doubleForKey(std::string_view key) const {
    return objectForKey(key).doubleValue();
}

bool DefaultsStore::setObject(std::string_view key, Value value) {
    return change(key, [&](const Value&) { return std::move(value); });
}

bool DefaultsStore::removeObject(std::string_view key) {
    return change(key, [](const Value&) { return Value(); });
}

bool DefaultsStore::updateObject(std::string_view key, const std::function<Value(const Value& current)>& apply) {
    return change(key, apply);
}

void DefaultsStore::registerDefaults(const Value::Map& defaults) {
    std::lock_guard lock(mutex_);
    for (const auto& [k, v] : defaults) registered_[k] = v;
}

bool DefaultsStore::synchronize() {
    std::string error;
    {
        std::lock_guard lock(mutex_);
        if (!persistent_) return true;
        if (unsaved_.empty()) {
            refreshLocked();
            return true;
        }
        if (commitLocked([] {}, error)) {
            unsaved_.clear();
            lastSaveError_.clear();
            return true;
        }
        lastSaveError_ = error;
    }
    reportFailure(error);
    return false;
}

Value::Map DefaultsStore::storedValues() const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    return stored_;
}

std::set<std::string> DefaultsStore::checkForChanges() {
    std::set<std::string> keys;
    {
        std::lock_guard lock(mutex_);
        refreshLocked();
        keys.swap(changedKeys_);
    }
    if (keys.empty()) return keys;
    std::vector<ChangeObserver> observers;
    {
        std::lock_guard lock(observerMutex_);
        for (const auto& [id, observer] : observers_) observers.push_back(observer);
    }
    for (const auto& observer : observers) observer(keys);
    return keys;
}

DefaultsStore::ObserverId DefaultsStore::addChangeObserver(ChangeObserver observer) {
    std::lock_guard lock(observerMutex_);
    ObserverId id = nextObserver_++;
    observers_[id] = std::move(observer);
    return id;
}

void DefaultsStore::removeChangeObserver(ObserverId id) {
    std::lock_guard lock(observerMutex_);
    observers_.erase(id);
}

void DefaultsStore::setSaveFailureObserver(std::function<void(const std::string& reason)> observer) {
    std::lock_guard lock(observerMutex_);
    saveFailureObserver_ = std::move(observer);
}

std::string DefaultsStore::lastSaveError() const {
    std::lock_guard lock(mutex_);
    return lastSaveError_;
}

bool DefaultsStore::hasUnsavedChanges() const {
    std::lock_guard lock(mutex_);
    return !unsaved_.empty();
}

}  // namespace glowmere::platform
