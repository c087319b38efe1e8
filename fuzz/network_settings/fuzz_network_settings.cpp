// Any text parses without failing; the fields stay within their limits, and the
// stored forms the control writes back parse to the same fields.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "control/links/network_settings_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vort::NetworkFields f = vort::parseNetworkSettings(text);
    if (f.ip && (f.ip->empty() || f.ip->size() > 62))
        std::abort();
    if (f.ownExtension && (f.ownExtension->empty() || f.ownExtension->size() > 18))
        std::abort();
    for (const auto& n : {f.port, f.maxConnections, f.cipMask})
        if (n && (*n == 0 || *n > 999999999999999999ull))
            std::abort();
    for (const auto& n : {f.controller, f.cipValue})
        if (n && (*n == 0 || *n > 999999999999999999ll || *n < -999999999999999999ll))
            std::abort();
    if (f.ip && f.port && f.ip->find(';') == std::string::npos) {
        // The TCP read-back form, as the control stores it.
        const std::string stored = "IP=" + *f.ip + ";PORT=" + std::to_string(*f.port) + ";";
        const vort::NetworkFields again = vort::parseNetworkSettings(stored);
        if (stored.size() <= 127 && (again.ip != f.ip || again.port != f.port))
            std::abort();
    }
    return 0;
}
