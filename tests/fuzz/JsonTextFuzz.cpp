// The bridge's replies are untrusted: every reader must take any bytes
// without crashing, and what they give must write back out as JSON.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bridge/JsonText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    using namespace glowmere::jsontext;
    glowmere::Value nested = dictionaryOfDictionariesFromJSON(text);
    glowmere::Value flat = dictionaryFromJSON(text);
    glowmere::Value list = arrayOfDictionariesFromJSON(text);
    // The request layer reads a flat member again, as text.
    for (const auto& [key, value] : flat.asMap()) {
        (void)dictionaryFromJSON(value.text());
        (void)dictionaryOfDictionariesFromJSON(value.text());
    }
    (void)JSONFromDictionary(nested);
    (void)JSONFromDictionary(flat);
    (void)list.size();
    (void)unescapeJSONText(text);
    (void)isJSONArrayText(text);
    return 0;
}
