#include "controls/qfKeyResponder.h"

namespace glowmere {

void qfKeyResponder::keyDown(const std::u32string& charactersIgnoringModifiers) {
    if (charactersIgnoringModifiers.empty()) return;
    char32_t key = charactersIgnoringModifiers.front();
    if (key == deleteCharacter || key == forwardDeleteFunctionKey || key == deleteCharacterFunctionKey) {
        if (owner_) owner_->deleteKey(this);
    }
}

}  // namespace glowmere
