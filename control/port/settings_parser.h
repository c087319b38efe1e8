// The serial line settings text: "baud,parity,data bits,stop bits", e.g. "9600,N,8,1".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vort {

struct LineSettings {
    uint32_t baud = 57600;
    char parity = 'N';    // E, M, N, O or S
    uint8_t dataBits = 8; // 5..8
    uint8_t stopBits = 1; // stop-bit code: 1, or 2 (one and a half with 5 data bits)

    bool operator==(const LineSettings&) const = default;
};

// Parses text over `settings`: only the fields the text gives change.
//
// The text is judged by its first 29 characters, upper-cased, split at commas into
// up to four fields (baud, parity, data bits, stop bits); empty fields are skipped,
// so the next field takes an empty one's place. The baud is read like a decimal
// integer (leading blanks skipped, stops at the first non-digit, no digits give 0,
// values beyond 32 bits saturate); the parity is the field's first character, one of
// E M N O S; data bits 5..8; stop bits 1 or 2, or "1.5" (code 2 with 5 data bits,
// else 1). When maxBaud > 0 the baud must also be 1..maxBaud.
//
// Returns false, leaving `settings` unchanged, when a check fails or the text has no
// first field.
bool parseLineSettings(std::string_view text, LineSettings& settings, uint32_t maxBaud = 0);

// The stored form "%lu,%c,%u,%u", e.g. "9600,E,7,2".
std::string formatLineSettings(const LineSettings& settings);

} // namespace vort
