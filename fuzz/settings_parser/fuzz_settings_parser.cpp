// Any text parses or fails cleanly; what parses is in range, and its stored form parses
// back to the same values (the stored text is written again on later writes and loads).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "control/port/settings_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (uint32_t maxBaud : {0u, 115200u}) {
        vort::LineSettings s{9600, 'E', 7, 2};
        if (!vort::parseLineSettings(text, s, maxBaud))
            continue;
        if (s.dataBits < 5 || s.dataBits > 8 || (s.stopBits != 1 && s.stopBits != 2))
            std::abort();
        if (maxBaud && (s.baud == 0 || s.baud > maxBaud))
            std::abort();
        vort::LineSettings again{};
        if (!vort::parseLineSettings(vort::formatLineSettings(s), again) || !(again == s))
            std::abort();
    }
    return 0;
}
