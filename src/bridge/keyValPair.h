#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace glowmere {

// One row of the bridge explorer's tree: the key it stands for and the
// dictionary that holds it. A leaf row (the text of a value) has no parent
// and shows its key, which is then that text. Made afresh whenever the tree
// asks for a child; it refers to the explorer's dictionary and never owns it.
class keyValPair {
public:
    keyValPair() = default;
    keyValPair(std::optional<std::string> key, const Value* parent) : key_(std::move(key)), parent_(parent) {}

    const std::optional<std::string>& getKey() const { return key_; }
    const Value* getParent() const { return parent_; }
    void setKey(std::optional<std::string> key) { key_ = std::move(key); }
    void setParent(const Value* parent) { parent_ = parent; }
    // The member of the parent under the key; nothing without either.
    const Value* getValue() const;

private:
    std::optional<std::string> key_;
    const Value* parent_ = nullptr;
};

}  // namespace glowmere
