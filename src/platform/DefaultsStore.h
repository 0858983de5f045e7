#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace glowmere::platform {

// The user's defaults store: named values that survive restarts, with
// registered defaults that apply while a key is absent. Kept as an XML
// property list, `defaults.plist`, in the profile directory
// ($XDG_CONFIG_HOME/glowmere unless another is given).
//
// One profile is shared by several processes (the desktop application and
// any number of glowmerectl runs), so every change is a read-modify-write
// under an advisory lock (flock on `defaults.plist.lock`): the file is read
// again, only the keys this change touches are applied to what it holds,
// and the result is written atomically (a temporary file carrying the
// writer's pid, synced, renamed over the old one). A crash leaves the old or
// the new file, never half of one, and no process writes away a key another
// one changed.
//
// Before every read the store checks whether the file is still the one it
// last read (device, inode, size, times) and takes the new values when
// another process replaced it. `checkForChanges` does the same and tells the
// observers which keys changed; the owner calls it on its own thread (the
// desktop application on a timer and when a window becomes active).
//
// A save that fails is reported: the setter gives false, the reason is kept
// (`lastSaveError`) and logged, and the save-failure observer is told. The
// value stays in memory and is written with the next save that succeeds.
//
// A file that cannot be read is moved aside (defaults.plist.corrupt-…) with
// a log line and never overwritten. Only temporary files of processes that
// are gone are removed. All operations are safe from any thread.
class DefaultsStore {
public:
    // Told the keys whose stored values another process changed.
    using ChangeObserver = std::function<void(const std::set<std::string>& keys)>;
    using ObserverId = int;

    // The profile directory from XDG_CONFIG_HOME (or ~/.config) + glowmere.
    static std::filesystem::path defaultDirectory();

    explicit DefaultsStore(std::filesystem::path directory);
    // An in-memory store that never touches the disk (unit tests).
    DefaultsStore();

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path filePath() const;
    std::filesystem::path lockPath() const;

    // The stored value, else the registered default, else null.
    Value objectForKey(std::string_view key) const;
    bool hasObject(std::string_view key) const;        // stored or registered
    bool hasStoredObject(std::string_view key) const;  // stored only
    std::string stringForKey(std::string_view key) const;
    bool boolForKey(std::string_view key) const;
    std::int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    float floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }

    // Stores one key (null removes it). False when the change could not be
    // written; it is then kept in memory and retried with the next save.
    bool setObject(std::string_view key, Value value);
    bool removeObject(std::string_view key);

    // The safe way to change a stored list or map: under the lock, `change`
    // gets the value stored now (freshly read from the file) and gives the
    // new one (null removes the key); the result is written before the lock
    // is released, so nothing another process added in between is lost.
    // `change` runs with the store locked: it must not call the store.
    bool updateObject(std::string_view key, const std::function<Value(const Value& current)>& change);

    // Registered defaults live in memory only and never reach the file.
    void registerDefaults(const Value::Map& defaults);

    // Takes what other processes wrote and writes every change that could
    // not be written before. False when something is still unsaved.
    bool synchronize();

    // Everything stored (not the registered defaults).
    Value::Map storedValues() const;

    // ---- Changes made by other processes ----
    // Reads the file again when another process replaced it and tells every
    // observer the keys whose values changed since the last call (also those
    // a read noticed in between). Observers run on the calling thread,
    // without the store locked. Returns those keys.
    std::set<std::string> checkForChanges();
    ObserverId addChangeObserver(ChangeObserver observer);
    void removeChangeObserver(ObserverId id);

    // Where this store last moved an unreadable file aside, if it did: the
    // settings it held are not in use, which the user is told.
    std::optional<std::filesystem::path> movedAsideFile() const;

    // ---- Failed saves ----
    // Called (on the saving thread, without the store locked) with the
    // reason whenever a save fails.
    void setSaveFailureObserver(std::function<void(const std::string& reason)> observer);
    // The reason the last save failed; empty once a save succeeded again.
    std::string lastSaveError() const;
    bool hasUnsavedChanges() const;
    // How many saves have failed so far; a tool compares it before and
    // after an operation to tell whether everything was stored.
    std::size_t failedSaves() const { return failedSaves_; }

private:
    struct FileIdentity {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modified = 0;  // nanoseconds
        long long changed = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    enum class ReadResult { Absent, Read, Unreadable, Corrupt };

    FileIdentity identityNow() const;
    ReadResult readFile(Value::Map& into, std::string& error) const;
    void moveAside(const std::string& why) const;
    void removeStaleTemporaryFiles() const;
    // The rest need mutex_. Takes the file's values when it changed; keys
    // not yet saved keep their values from memory.
    void refreshLocked() const;
    void adoptLocked(Value::Map disk) const;
    // Reads the file while its lock is held; false when it must not be
    // written over.
    bool loadWithFileLockLocked(std::string& error) const;
    // Under the file lock: read the file again, `apply` the change, write.
    // The change is applied in memory even when it cannot be written.
    bool commitLocked(const std::function<void()>& apply, std::string& error);
    bool change(std::string_view key, const std::function<Value(const Value&)>& apply);
    void reportFailure(const std::string& error);

    std::filesystem::path directory_;
    bool persistent_ = true;
    mutable std::mutex mutex_;
    // Mutable: reads take another process's values before they answer.
    mutable Value::Map stored_;
    mutable FileIdentity identity_;
    mutable std::set<std::string> changedKeys_;  // not yet told to observers
    mutable std::set<std::string> unsaved_;      // changed here, not yet written
    mutable std::optional<std::filesystem::path> movedAside_;
    std::string lastSaveError_;
    std::atomic<std::size_t> failedSaves_{0};
    Value::Map registered_;

    std::mutex observerMutex_;
    std::map<ObserverId, ChangeObserver> observers_;
    ObserverId nextObserver_ = 1;
    std::function<void(const std::string&)> saveFailureObserver_;
};

// Writes `contents` to `path` atomically: a temporary file in the same
// directory (named after `path` with ".tmp-PID-" and a random suffix),
// fsync, rename, fsync of the directory. Mode is applied to the new file.
// False (with the reason) on failure; the old file is untouched.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view contents, unsigned mode,
                         std::string* error = nullptr);

}  // namespace glowmere::platform
