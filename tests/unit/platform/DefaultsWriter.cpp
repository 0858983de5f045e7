// Saves the defaults store over and over until it is killed; the defaults
// store tests kill it at random moments and read what it left.
#include <string>

#include "platform/DefaultsStore.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    glowmere::platform::DefaultsStore store{std::filesystem::path(argv[1])};
    for (long i = store.objectForKey("state")["counter"].integerValue() + 1;; ++i) {
        glowmere::Value state;
        state.set("counter", i);
        state.set("payload", std::string(20000 + static_cast<std::size_t>(i % 7) * 1000, static_cast<char>('a' + i % 26)));
        store.setObject("state", state);
    }
}
