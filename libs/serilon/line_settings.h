// The line settings a caller asked for, kept as asked.
#pragma once

#include <cstdint>

namespace serilon {

struct LineSettings {
    std::uint32_t baud = 9600;
    int dataBits = 8;  // 5..8
    int stopBits = 1;  // 1 or 2; 2 with 5 data bits means one and a half
    char parity = 'N'; // 'E', 'M', 'N', 'O', 'S'
    int flow = 0;      // SERIAL_FLOW_* bits
    std::uint8_t xonChar = 0x11;
    std::uint8_t xoffChar = 0x13;
    // Received bytes with parity or framing errors are replaced by errorChar.
    bool errorCharOn = false;
    std::uint8_t errorChar = 0;
    // Received NUL bytes are dropped.
    bool discardNul = false;
    // Configuration-record fields kept and reported only; the kernel does the
    // XON/XOFF input throttling itself.
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
    std::uint8_t eofChar = 0;
    std::uint8_t eventChar = 0;
};

} // namespace serilon
