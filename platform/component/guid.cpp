#include "platform/component/guid.h"

#include <cstdio>

namespace vort::component {

std::string Guid::format() const {
    char buf[39];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1), data2, data3, data4[0], data4[1], data4[2],
                  data4[3], data4[4], data4[5], data4[6], data4[7]);
    return buf;
}

size_t GuidHash::operator()(const Guid& g) const noexcept {
    // FNV-1a over the 16 bytes; Guids are already random, this only folds them.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint8_t b) { h = (h ^ b) * 1099511628211ull; };
    for (int s = 24; s >= 0; s -= 8)
        mix(static_cast<uint8_t>(g.data1 >> s));
    mix(static_cast<uint8_t>(g.data2 >> 8));
    mix(static_cast<uint8_t>(g.data2));
    mix(static_cast<uint8_t>(g.data3 >> 8));
    mix(static_cast<uint8_t>(g.data3));
    for (uint8_t b : g.data4)
        mix(b);
    return static_cast<size_t>(h);
}

} // namespace vort::component
