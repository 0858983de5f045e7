// Settings files and the update server's list are untrusted property lists.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (auto value = glowmere::platform::readPropertyList(text, &error)) {
        auto again = glowmere::platform::readPropertyList(glowmere::platform::writePropertyList(*value));
        (void)again;
    }
    return 0;
}
