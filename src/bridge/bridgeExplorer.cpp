#include "bridge/bridgeExplorer.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "bridge/JsonText.h"

namespace glowmere {

const bridgeExplorer::Section bridgeExplorer::sections[3] = {
    {"lights", "Lights", "state"},
    {"groups", "Groups", "action"},
    {"schedules", "Schedules", "command"},
};

namespace {

std::size_t skipSpace(std::string_view text, std::size_t i) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    return i;
}

// The end of the JSON string starting at `i` (its opening quote), past the
// closing quote; npos when it never closes.
std::size_t skipString(std::string_view text, std::size_t i) {
    for (++i; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return std::string_view::npos;
}

// The end of the JSON value starting at `i`; npos when it is cut off.
std::size_t skipValue(std::string_view text, std::size_t i) {
    if (i >= text.size()) return std::string_view::npos;
    if (text[i] == '"') return skipString(text, i);
    if (text[i] == '{' || text[i] == '[') {
        int depth = 0;
        while (i < text.size()) {
            char c = text[i];
            if (c == '"') {
                i = skipString(text, i);
                if (i == std::string_view::npos) return i;
                continue;
            }
            if (c == '{' || c == '[') ++depth;
            if (c == '}' || c == ']') {
                if (--depth == 0) return i + 1;
            }
            ++i;
        }
        return std::string_view::npos;
    }
    while (i < text.size() && text[i] != ',' && text[i] != '}' && text[i] != ']') ++i;
    return i;
}

// The members of a JSON object with the raw text of each value, in order, so
// each can be read on its own exactly as if the bridge had sent it alone.
// Nothing when the text is not one well-formed object at this level.
std::optional<std::vector<std::pair<std::string, std::string_view>>> rawMembers(std::string_view text) {
    std::vector<std::pair<std::string, std::string_view>> members;
    std::size_t i = skipSpace(text, 0);
    if (i >= text.size() || text[i] != '{') return std::nullopt;
    i = skipSpace(text, i + 1);
    if (i < text.size() && text[i] == '}') return members;
    while (i < text.size()) {
        if (text[i] != '"') return std::nullopt;
        std::size_t keyEnd = skipString(text, i);
        if (keyEnd == std::string_view::npos) return std::nullopt;
        std::string key = jsontext::unescapeJSONText(text.substr(i + 1, keyEnd - i - 2));
        i = skipSpace(text, keyEnd);
        if (i >= text.size() || text[i] != ':') return std::nullopt;
        i = skipSpace(text, i + 1);
        std::size_t valueEnd = skipValue(text, i);
        if (valueEnd == std::string_view::npos || valueEnd == i) return std::nullopt;
        std::string_view value = text.substr(i, valueEnd - i);
        while (!value.empty() &&
               (value.back() == ' ' || value.back() == '\n' || value.back() == '\r' || value.back() == '\t'))
            value.remove_suffix(1);
        members.emplace_back(std::move(key), value);
        i = skipSpace(text, valueEnd);
        if (i < text.size() && text[i] == ',') {
            i = skipSpace(text, i + 1);
            continue;
        }
        if (i < text.size() && text[i] == '}') return members;
        return std::nullopt;
    }
    return std::nullopt;
}

// Every text below `value` with the user names shortened; the keys of the
// configuration's list of paired users too.
Value shortenedTree(const Value& value, const std::vector<std::string>& names, bool whitelist = false) {
    if (value.isText()) return Value(bridgeExplorer::withUserNamesShortened(value.text(), names));
    if (!value.isMap()) return value;
    Value out = Value::emptyMap();
    for (const auto& [key, member] : value.asMap()) {
        std::string shown = key;
        if (whitelist) {
            // Two names may start alike; each keeps a row of its own.
            shown = BridgeBridge::shortenedUsername(key);
            for (int n = 2; out.contains(shown); ++n)
                shown = BridgeBridge::shortenedUsername(key) + " (" + std::to_string(n) + ")";
        }
        out.set(shown, shortenedTree(member, names, !whitelist && key == "whitelist"));
    }
    return out;
}

}  // namespace

std::vector<std::string> bridgeExplorer::userNamesIn(const Value& config, const std::optional<std::string>& own) {
    std::vector<std::string> names;
    if (own && !own->empty()) names.push_back(*own);
    const Value whitelist = config["whitelist"];
    if (whitelist.isMap())
        for (const auto& [name, entry] : whitelist.asMap())
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    return names;
}

std::string bridgeExplorer::withUserNamesShortened(std::string text, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        const std::string escaped = jsontext::escapeJSONText(name);
        const std::string shortened = jsontext::escapeJSONText(BridgeBridge::shortenedUsername(name));
        for (const auto& [before, after] :
             {std::pair<std::string, std::string>{"\"", "\""}, {"/api/", "/"}, {"/api/", "\""}}) {
            const std::string from = before + escaped + after;
            const std::string to = before + shortened + after;
            for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
                text.replace(at, from.size(), to);
        }
        // An address that ends with the name.
        const std::string tail = "/api/" + escaped;
        if (text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
            text.replace(text.size() - tail.size(), tail.size(), "/api/" + shortened);
    }
    return text;
}

void bridgeExplorer::setReloadHandler(std::function<void()> reload) {
    std::lock_guard lock(mutex_);
    reload_ = std::move(reload);
}

std::shared_ptr<const Value> bridgeExplorer::explorerDictionary() const {
    std::lock_guard lock(mutex_);
    return explorerDictionary_;
}

bool bridgeExplorer::isLoading() const {
    std::lock_guard lock(mutex_);
    return loading_;
}

void bridgeExplorer::loadData() {
    {
        std::lock_guard lock(mutex_);
        loading_ = true;
    }
    Value dictionary = Value::emptyMap();
    for (const Section& section : sections) {
        auto listText = bridgeBridge_.sendGETRequestToUrl(section.list);
        if (!listText) continue;
        Value members = Value::emptyMap();
        const Value list = BridgeBridge::dictionaryOfDictionariesFromJSON(listText);
        // A list that carries each member's full record is read as it is;
        // one that names its members only is completed one request each.
        auto raw = rawMembers(*listText);
        // Each member of a longer list would cost a request: refused, as
        // the lamp list is.
        const std::size_t count = raw ? raw->size() : list.size();
        if (count > BridgeBridge::maxListMembers) {
            bridgeBridge_.noteTooManyMembers(section.list, count);
            continue;
        }
        std::vector<std::pair<std::string, std::optional<std::string_view>>> order;
        if (raw) {
            for (const auto& [key, text] : *raw) {
                auto inner = rawMembers(text);
                bool full = false;
                if (inner)
                    for (const auto& member : *inner) full = full || member.first == section.fullMark;
                order.emplace_back(key, full ? std::optional<std::string_view>(text) : std::nullopt);
            }
        } else if (list.isMap()) {
            for (const auto& [key, value] : list.asMap()) order.emplace_back(key, std::nullopt);
        }
        for (const auto& [key, text] : order) {
            if (text) {
                members.set(key, BridgeBridge::dictionaryOfDictionariesFromJSON(std::string(*text)));
                continue;
            }
            auto memberText = bridgeBridge_.sendGETRequestToUrl(std::string(section.list) + "/" + key);
            if (memberText) members.set(key, BridgeBridge::dictionaryOfDictionariesFromJSON(memberText));
        }
        dictionary.set(section.key, std::move(members));
    }
    Value config;
    if (auto configText = bridgeBridge_.sendGETRequestToUrl("config")) {
        config = BridgeBridge::dictionaryOfDictionariesFromJSON(configText);
        dictionary.set(configKey, config);
    }
    dictionary = shortenedTree(dictionary, userNamesIn(config, bridgeBridge_.getUsername()));

    std::function<void()> reload;
    {
        std::lock_guard lock(mutex_);
        explorerDictionary_ = std::make_shared<const Value>(std::move(dictionary));
        loading_ = false;
        reload = reload_;
    }
    if (explorerWIndow_) explorerWIndow_->makeKeyAndOrderFront();
    if (reload) reload();
}

std::string bridgeExplorer::getKeyAtIndexFromDictionary(std::size_t index, const Value& dictionary) {
    if (!dictionary.isMap() || index >= dictionary.asMap().size()) return {};
    auto it = dictionary.asMap().begin();
    std::advance(it, static_cast<std::ptrdiff_t>(index));
    return it->first;
}

std::size_t bridgeExplorer::numberOfChildrenOfItem(const Value& root, const keyValPair* item) {
    const Value* value = item ? item->getValue() : &root;
    if (!value) return 0;
    if (value->isMap()) return value->asMap().size();
    return value->isText() ? 1 : 0;
}

std::optional<keyValPair> bridgeExplorer::childOfItem(const Value& root, std::size_t index, const keyValPair* item) {
    const Value* value = item ? item->getValue() : &root;
    if (!value) return std::nullopt;
    if (value->isMap()) {
        if (index >= value->asMap().size()) return std::nullopt;
        return keyValPair(getKeyAtIndexFromDictionary(index, *value), value);
    }
    if (value->isText() && index == 0) return keyValPair(value->text(), nullptr);
    return std::nullopt;
}

bool bridgeExplorer::isItemExpandable(const keyValPair& item) {
    return item.getParent() != nullptr;
}

std::string bridgeExplorer::objectValueForItem(const keyValPair& item) {
    return item.getKey().value_or("");
}

std::string bridgeExplorer::indentedText(const Value& value, int depth) {
    std::string out;
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (value.isMap()) {
        for (const auto& [key, member] : value.asMap()) {
            out += indent + key + "\n";
            out += indentedText(member, depth + 1);
        }
    } else if (value.isText()) {
        out += indent + value.text() + "\n";
    }
    return out;
}

}  // namespace glowmere
