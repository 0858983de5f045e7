// The bridge's replies are untrusted: every reader must take any bytes
// without crashing, what they give must write back out as JSON, and the
// memory a reading takes must stay linear in the reply: at its peak, at
// most ten times the reply's size, besides the fixed cost of each value it
// gives back (a reply of bars gives one empty dictionary per byte, whatever
// the reader does) and a small fixed allowance.
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bridge/JsonText.h"

namespace {

std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void onAllocate(const volatile void*, std::size_t size) {
    long long now = live += static_cast<long long>(size);
    long long seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void onFree(const volatile void* pointer) {
    live -= static_cast<long long>(__sanitizer_get_allocated_size(const_cast<const void*>(pointer)));
}

constexpr long long fixedAllowance = 4096;
// A map member's node with its key and value, or a list item.
constexpr long long perValue = 128;

long long valuesIn(const glowmere::Value& v) {
    long long n = 1;
    if (v.isMap())
        for (const auto& [key, member] : v.asMap()) n += valuesIn(member);
    if (v.isList())
        for (const auto& item : v.asList()) n += valuesIn(item);
    return n;
}

template <typename Read>
void checkMemory(const char* reader, std::string_view text, Read read) {
    const long long before = live.load();
    peak = before;
    long long values = 0;
    {
        glowmere::Value result = read(text);
        values = valuesIn(result);
    }
    const long long used = peak.load() - before;
    const long long allowed = 10 * static_cast<long long>(text.size()) + perValue * values + fixedAllowance;
    if (used > allowed) {
        std::fprintf(stderr, "%s took %lld bytes at its peak for %zu bytes of text and %lld values (allowed %lld)\n",
                     reader, used, text.size(), values, allowed);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __sanitizer_install_malloc_and_free_hooks(onAllocate, onFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of its own, so the text's own bytes are not counted.
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string_view text(input);
    using namespace glowmere::jsontext;
    checkMemory("the nesting reader", text, [](std::string_view t) { return dictionaryOfDictionariesFromJSON(t); });
    checkMemory("the flat reader", text, [](std::string_view t) { return dictionaryFromJSON(t); });
    checkMemory("the array reader", text, [](std::string_view t) { return arrayOfDictionariesFromJSON(t); });

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

    // A name holding anything at all reads back exactly, and the member
    // after it is still there. (Spaces at a name's ends are trimmed by
    // design, and a NUL is never text.)
    if (size <= 256) {
        std::string name(input);
        std::replace(name.begin(), name.end(), '\0', '.');
        while (!name.empty() && name.front() == ' ') name.erase(0, 1);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        const std::string reply =
            R"({"1":{"name":")" + escapeJSONText(name) + R"(","type":"Extended color light"},"2":{"name":"b"}})";
        glowmere::Value lamps = dictionaryOfDictionariesFromJSON(reply);
        if (lamps["1"]["name"].textValue() != name || lamps["1"]["type"].textValue() != "Extended color light" ||
            lamps["2"]["name"].textValue() != "b") {
            std::fprintf(stderr, "a name did not read back: %s\n", reply.c_str());
            std::abort();
        }
    }
    return 0;
}
