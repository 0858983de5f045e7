#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace glowmere::platform {

// The user's defaults store: named values that survive restarts, with
// registered defaults that apply while a key is absent. Kept as an XML
// property list, `defaults.plist`, in the profile directory
// ($XDG_CONFIG_HOME/glowmere unless another is given).
//
// Every change is written at once: a temporary file, synced, renamed over
// the old one, so a crash leaves the old or the new file and never half of
// one. A file that cannot be read is moved aside (defaults.plist.corrupt-…)
// with a log line and the store starts empty; it is never overwritten.
// All operations are safe from any thread.
class DefaultsStore {
public:
    // The profile directory from XDG_CONFIG_HOME (or ~/.config) + glowmere.
    static std::filesystem::path defaultDirectory();

    explicit DefaultsStore(std::filesystem::path directory);
    // An in-memory store that never touches the disk (unit tests).
    DefaultsStore();

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path filePath() const;

    // The stored value, else the registered default, else null.
    Value objectForKey(std::string_view key) const;
    bool hasObject(std::string_view key) const;       // stored or registered
    bool hasStoredObject(std::string_view key) const;  // stored only
    std::string stringForKey(std::string_view key) const;
    bool boolForKey(std::string_view key) const;
    std::int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    float floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }

    // Setting null removes the key.
    void setObject(std::string_view key, Value value);
    void removeObject(std::string_view key);

    // Registered defaults live in memory only and never reach the file.
    void registerDefaults(const Value::Map& defaults);

    // Writes the stored values now. False when the file could not be
    // written (the reason is logged; the values stay in memory).
    bool synchronize();

    // Everything stored (not the registered defaults).
    Value::Map storedValues() const;

private:
    void load();
    bool saveLocked();

    std::filesystem::path directory_;
    bool persistent_ = true;
    mutable std::mutex mutex_;
    Value::Map stored_;
    Value::Map registered_;
};

// Writes `contents` to `path` atomically: temporary file in the same
// directory, fsync, rename, fsync of the directory. Mode is applied to the
// new file. False (with the reason) on failure; the old file is untouched.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view contents, unsigned mode,
                         std::string* error = nullptr);

}  // namespace glowmere::platform
