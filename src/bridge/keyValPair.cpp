#include "bridge/keyValPair.h"

namespace glowmere {

const Value* keyValPair::getValue() const {
    if (!key_ || !parent_) return nullptr;
    return parent_->find(*key_);
}

}  // namespace glowmere
