#include "platform/DefaultsStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <date/date.h>

#include "platform/Log.h"
#include "platform/PropertyList.h"

namespace glowmere::platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* fileName = "defaults.plist";

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

}  // namespace

bool writeFileAtomically(const fs::path& path, std::string_view contents, unsigned mode, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::string tmpl = (path.parent_path() / (path.filename().string() + ".tmp-XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return fail("cannot create a temporary file beside " + path.string());
    ::fchmod(fd, static_cast<mode_t>(mode));
    if (!writeAll(fd, contents) || ::fsync(fd) != 0) {
        int saved = errno;
        ::close(fd);
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot write " + tmpl);
    }
    ::close(fd);
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot replace " + path.string());
    }
    // Make the rename itself durable.
    int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
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
    load();
}

DefaultsStore::DefaultsStore() : persistent_(false) {}

fs::path DefaultsStore::filePath() const {
    return directory_ / fileName;
}

void DefaultsStore::load() {
    std::lock_guard lock(mutex_);
    fs::path path = filePath();
    // Temporary files left by a save that was cut off are of no use.
    std::error_code ec;
    for (fs::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().rfind(std::string(fileName) + ".tmp-", 0) == 0) fs::remove(it->path(), ec);
    std::ifstream in(path, std::ios::binary);
    if (!in) return;  // nothing stored yet
    std::stringstream buffer;
    buffer << in.rdbuf();
    in.close();
    std::string error;
    auto value = readPropertyList(buffer.str(), &error);
    if (value && value->isMap()) {
        stored_ = value->asMap();
        return;
    }
    if (value) error = "the top level is not a dictionary";
    auto stamp = date::format("%Y%m%dT%H%M%S", std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    fs::path aside = path;
    aside += ".corrupt-" + stamp;
    for (int n = 1; fs::exists(aside); ++n) {
        aside = path;
        aside += ".corrupt-" + stamp + "-" + std::to_string(n);
    }
    fs::rename(path, aside, ec);
    if (ec) {
        // It cannot be moved: keep working in memory only, so it is never
        // overwritten.
        persistent_ = false;
        log("defaults file " + path.string() + " cannot be read (" + error + ") nor moved aside (" +
            ec.message() + "); settings will not be saved this run");
        return;
    }
    log("defaults file " + path.string() + " cannot be read (" + error + "); kept as " + aside.string() +
        ", starting with empty settings");
}

Value DefaultsStore::objectForKey(std::string_view key) const {
    std::lock_guard lock(mutex_);
    if (auto it = stored_.find(key); it != stored_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return {};
}

bool DefaultsStore::hasObject(std::string_view key) const {
    std::lock_guard lock(mutex_);
    return stored_.count(key) > 0 || registered_.count(key) > 0;
}

bool DefaultsStore::hasStoredObject(std::string_view key) const {
    std::lock_guard lock(mutex_);
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

void DefaultsStore::setObject(std::string_view key, Value value) {
    if (value.isNull()) {
        removeObject(key);
        return;
    }
    std::lock_guard lock(mutex_);
    stored_[std::string(key)] = std::move(value);
    saveLocked();
}

void DefaultsStore::removeObject(std::string_view key) {
    std::lock_guard lock(mutex_);
    auto it = stored_.find(key);
    if (it == stored_.end()) return;
    stored_.erase(it);
    saveLocked();
}

void DefaultsStore::registerDefaults(const Value::Map& defaults) {
    std::lock_guard lock(mutex_);
    for (const auto& [k, v] : defaults) registered_[k] = v;
}

bool DefaultsStore::synchronize() {
    std::lock_guard lock(mutex_);
    return saveLocked();
}

Value::Map DefaultsStore::storedValues() const {
    std::lock_guard lock(mutex_);
    return stored_;
}

bool DefaultsStore::saveLocked() {
    if (!persistent_) return true;
    std::string error;
    if (!writeFileAtomically(filePath(), writePropertyList(Value(stored_)), 0600, &error)) {
        log("cannot save settings: " + error);
        return false;
    }
    return true;
}

}  // namespace glowmere::platform
