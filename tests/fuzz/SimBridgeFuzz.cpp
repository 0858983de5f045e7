// The simulated bridge takes requests from anyone on the port: any method,
// path and body, and any control call, must give a reply and never crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/SimBridge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace glowmere::sim;
    static const char* methods[] = {"GET", "PUT", "POST", "DELETE"};
    SimBridge bridge(StartOptions{5, 2, "u", "pressed", false, "127.0.0.1:80", 1, false, {}},
                     SimTime{std::chrono::seconds(1796000000)});
    std::string input(reinterpret_cast<const char*>(data), size);
    // One request per line: a method digit, a path, a tab, a body.
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        std::string line = input.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        const char* method = methods[static_cast<unsigned char>(line[0]) % 4];
        std::string rest = line.substr(1);
        std::size_t tab = rest.find('\t');
        std::string path = rest.substr(0, tab);
        std::string body = tab == std::string::npos ? "" : rest.substr(tab + 1);
        Reply reply =
            path.rfind("/sim", 0) == 0 ? bridge.control(method, path, body) : bridge.handle(method, path, body);
        if (reply.body.empty()) __builtin_trap();
    }
    return 0;
}
