#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bridge/BridgeBridge.h"
#include "bridge/keyValPair.h"
#include "platform/Ui.h"
#include "platform/Value.h"

namespace glowmere {

// The bridge explorer: reads everything the bridge holds for this user (its
// lamps, groups, schedules and configuration) into one nested dictionary and
// serves it to a read-only tree, one keyValPair per row.
//
// loadData blocks for its requests and runs off the window thread (the
// desktop application runs it on a thread of its own). The dictionary it
// makes is replaced whole by the next load and never changed afterwards, so
// the window reads it from its own thread without waiting.
class bridgeExplorer {
public:
    // The sections, in the order they are read.
    struct Section {
        const char* list;      // the bridge's list, e.g. "lights"
        const char* key;       // the section's key, e.g. "Lights"
        const char* fullMark;  // a member of a full record in the list ("state")
    };
    static const Section sections[3];
    static constexpr const char* configKey = "Config";

    explicit bridgeExplorer(BridgeBridge& bridge) : bridgeBridge_(bridge) {}

    // Outlets; either may be left unset.
    void setExplorerWindow(platform::Window* window) { explorerWIndow_ = window; }
    // Tells the tree to reload its data (any thread).
    void setReloadHandler(std::function<void()> reload);

    // Reads the bridge (one request per list, plus one per member where the
    // list gives names only, plus the configuration), keeps the result,
    // brings the window to the front and reloads the tree.
    void loadData();
    // What the last load read (an empty dictionary before the first).
    std::shared_ptr<const Value> explorerDictionary() const;
    bool isLoading() const;

    // ---- The tree's data source, over a dictionary read by a load ----
    // The key at `index` in the dictionary's list of all keys.
    static std::string getKeyAtIndexFromDictionary(std::size_t index, const Value& dictionary);
    // `item` none: the root.
    static std::size_t numberOfChildrenOfItem(const Value& root, const keyValPair* item);
    static std::optional<keyValPair> childOfItem(const Value& root, std::size_t index, const keyValPair* item);
    static bool isItemExpandable(const keyValPair& item);
    static std::string objectValueForItem(const keyValPair& item);

    // Paired user names are credentials: what a load keeps shows each only
    // as BridgeBridge::shortenedUsername does. These are the names to
    // shorten: those `config` lists (its "whitelist") and the user's own.
    static std::vector<std::string> userNamesIn(const Value& config, const std::optional<std::string>& own);
    // `text` (a raw reply or one value) with every name of `names` that
    // stands as a JSON string or in a bridge address ("/api/NAME/...")
    // shortened.
    static std::string withUserNamesShortened(std::string text, const std::vector<std::string>& names);

    // The tree below `value` as indented text: "key" lines, each value's text
    // one level further in (what the tree shows, unfolded).
    static std::string indentedText(const Value& value, int depth = 0);

private:
    BridgeBridge& bridgeBridge_;
    platform::Window* explorerWIndow_ = nullptr;
    mutable std::mutex mutex_;
    std::shared_ptr<const Value> explorerDictionary_ = std::make_shared<const Value>(Value::emptyMap());
    std::function<void()> reload_;
    bool loading_ = false;
};

}  // namespace glowmere
