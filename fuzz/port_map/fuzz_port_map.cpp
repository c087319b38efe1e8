// Feeds arbitrary bytes to the port map parser and checks what it gives back.
#include "libs/serilon/port_map.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const serilon::PortMap map = serilon::parsePortMap(text);
    for (const auto& [port, path] : map) {
        // Every entry is a usable port number with a non-empty, trimmed, NUL-free path.
        if (port < 1 || port > 255 || path.empty() || path.find('\0') != std::string::npos ||
            path.front() == ' ' || path.back() == ' ' || path.find('\n') != std::string::npos) {
            std::abort();
        }
        if (serilon::devicePathFor(map, port) != path) {
            std::abort();
        }
    }
    return 0;
}
