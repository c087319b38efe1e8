#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace scanner_sim {

// The scanner's own RS-232 settings. Parity is 'N', 'O' or 'E'; data bits 7 or 8;
// stop bits 1 or 2; baud one of the rates the scanner knows (see isScannerBaud).
struct LineSettings {
    uint32_t baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;

    bool operator==(const LineSettings&) const = default;

    // "9600,N,8,1"
    std::string toString() const;
    // Time one character takes on the wire: start bit, data bits, parity bit, stop bits.
    // In nanoseconds; never 0.
    uint64_t charTimeNs() const;
};

// The eight rates of the scanner's vocabulary: 1200 ... 115200.
bool isScannerBaud(uint32_t baud);

// Parses "19200,E,7,2" (parity letter in either case, blanks around fields allowed).
// Returns nothing for any other form or a value the scanner does not support.
std::optional<LineSettings> parseLineSettings(std::string_view text);

} // namespace scanner_sim
