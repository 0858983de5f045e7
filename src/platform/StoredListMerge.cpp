#include "platform/StoredListMerge.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace glowmere::platform {

namespace {

// The entries of `from` that are not in `without` (as a multiset), with
// their indexes in `from`.
std::vector<std::size_t> difference(const Value::List& from, const Value::List& without) {
    std::vector<bool> used(without.size(), false);
    std::vector<std::size_t> rest;
    for (std::size_t i = 0; i < from.size(); ++i) {
        bool matched = false;
        for (std::size_t j = 0; j < without.size(); ++j) {
            if (!used[j] && without[j] == from[i]) {
                used[j] = true;
                matched = true;
                break;
            }
        }
        if (!matched) rest.push_back(i);
    }
    return rest;
}

}  // namespace

Value::List mergeStoredList(const Value::List& base, const Value::List& ours, const Value::List& theirs) {
    if (ours == base) return theirs;
    if (theirs == base) return ours;
    const auto removed = difference(base, ours);
    const auto added = difference(ours, base);

    // Take out what this process removed, remembering where it stood.
    std::vector<std::optional<Value>> merged(theirs.begin(), theirs.end());
    std::vector<std::optional<std::size_t>> places;
    for (std::size_t index : removed) {
        std::optional<std::size_t> place;
        for (std::size_t k = 0; k < merged.size(); ++k) {
            if (merged[k] && *merged[k] == base[index]) {
                merged[k].reset();
                place = k;
                break;
            }
        }
        places.push_back(place);
    }
    // A changed entry is one removal and one addition: the new version takes
    // the old one's place; other additions go at the end.
    std::vector<Value> appended;
    for (std::size_t n = 0; n < added.size(); ++n) {
        const Value& entry = ours[added[n]];
        if (n < places.size() && places[n] && !merged[*places[n]])
            merged[*places[n]] = entry;
        else
            appended.push_back(entry);
    }
    Value::List result;
    result.reserve(merged.size() + appended.size());
    for (auto& entry : merged)
        if (entry) result.push_back(std::move(*entry));
    for (auto& entry : appended) result.push_back(std::move(entry));
    return result;
}

}  // namespace glowmere::platform
