// Peak memory of the JSON readers against the size of the reply they read:
// a whole bridge state of about 20 MB, the same state nested 100 levels
// deep, and a reply of nothing but separators. Printed as multiples of the
// reply's size.

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "bridge/JsonText.h"

namespace {

std::atomic<long long> live{0}, peak{0};

void* counted(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    long long now = live += static_cast<long long>(malloc_usable_size(p));
    long long seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return p;
}

void release(void* p) {
    if (!p) return;
    live -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
    return counted(size);
}
void* operator new[](std::size_t size) {
    return counted(size);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}

namespace glowmere {
namespace {

std::string lamp(int id) {
    return "\"" + std::to_string(id) +
           R"(":{"state":{"on":true,"bri":254,"hue":8418,"sat":140,"xy":[0.4573,0.41],"ct":366,"alert":"none",)"
           R"("effect":"none","colormode":"ct","reachable":true},"type":"Extended color light",)"
           R"("name":"Lamp )" +
           std::to_string(id) + R"(","modelid":"GM-RGBW-1","swversion":"1.0.0","uniqueid":"02:47:4d:01:00:)" +
           std::to_string(id % 100) + R"(:aa:bb-0b"})";
}

// A bridge's whole state: lamps, groups and configuration, about `bytes` long.
std::string wholeState(std::size_t bytes) {
    std::string lights = "{", groups = "{";
    for (int id = 1; lights.size() < bytes * 3 / 4; ++id) lights += (id > 1 ? "," : "") + lamp(id);
    for (int id = 1; groups.size() < bytes / 4; ++id)
        groups += (id > 1 ? ",\"" : "\"") + std::to_string(id) +
                  R"(":{"action":{"on":true,"bri":254,"hue":33536,"sat":144},"lights":["1","2","3"],"name":"Group )" +
                  std::to_string(id) + "\"}";
    return R"({"lights":)" + lights + R"(},"groups":)" + groups +
           R"(},"config":{"name":"Bridge","mac":"02:47:4d:00:00:00","dhcp":true,"whitelist":{"u1":{"name":"x"}}}})";
}

std::string nested(const std::string& inner, int levels) {
    std::string out;
    for (int i = 0; i < levels; ++i) out += R"({"level":)";
    out += inner;
    for (int i = 0; i < levels; ++i) out += "}";
    return out;
}

template <typename Read>
void measure(const char* what, const char* reader, const std::string& text, Read read) {
    const long long before = live.load();
    peak = before;
    {
        Value result = read(text);
        (void)result;
    }
    const double ratio = static_cast<double>(peak.load() - before) / static_cast<double>(text.size());
    std::printf("%-24s %-8s %10zu %10.1f\n", what, reader, text.size(), ratio);
}

TEST(JsonMemoryBench, PeakMemoryAgainstTheReplysSize) {
    const std::string state = wholeState(20u << 20);
    const std::string deep = nested(wholeState(2u << 20), 100);
    const std::string bars(1u << 20, '|');
    std::printf("%-24s %-8s %10s %10s\n", "reply", "reader", "bytes", "peak/size");
    for (const auto& [what, text] : {std::pair<const char*, const std::string&>{"whole state (20 MB)", state},
                                     {"state 100 levels deep", deep},
                                     {"separators only (1 MB)", bars}}) {
        measure(what, "nesting", text,
                [](const std::string& t) { return jsontext::dictionaryOfDictionariesFromJSON(t); });
        measure(what, "flat", text, [](const std::string& t) { return jsontext::dictionaryFromJSON(t); });
        measure(what, "array", text, [](const std::string& t) { return jsontext::arrayOfDictionariesFromJSON(t); });
    }
    std::fflush(stdout);
}

}  // namespace
}  // namespace glowmere
