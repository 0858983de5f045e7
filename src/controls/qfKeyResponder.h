#pragma once

#include <string>

namespace glowmere {

class qfKeyResponder;

// Told about delete keys (the schedule list's owner).
class DeleteKeyHandler {
public:
    virtual ~DeleteKeyHandler() = default;
    virtual void deleteKey(qfKeyResponder* sender) = 0;
};

// Turns the delete keys pressed in a list into a delete command for its owner.
class qfKeyResponder {
public:
    static constexpr char32_t deleteCharacter = 127;
    static constexpr char32_t forwardDeleteFunctionKey = 0xF728;
    static constexpr char32_t deleteCharacterFunctionKey = 0xF73E;

    void setOwner(DeleteKeyHandler* owner) { owner_ = owner; }
    DeleteKeyHandler* owner() const { return owner_; }

    // `charactersIgnoringModifiers` of the key event. Only its first
    // character counts; other keys are swallowed.
    void keyDown(const std::u32string& charactersIgnoringModifiers);
    // The responder's own: nothing.
    void deleteKey(qfKeyResponder*) {}

private:
    DeleteKeyHandler* owner_ = nullptr;
};

}  // namespace glowmere
