// The Settings text of the network connection types: "KEY=value;" pairs such as
// "IP=10.0.0.5;PORT=5000;" (TCP) or "OwnExtension=12;Controller=1;CIPValue=1;" (ISDN).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vort {

// The fields a text gives. A field is absent when its key is missing, its value is
// empty, or its number is 0 (such a text leaves the field as it was).
struct NetworkFields {
    std::optional<std::string> ip;           // up to 62 characters, case kept
    std::optional<uint64_t> port;            // up to 18 digits; the caller checks the range
    std::optional<uint64_t> maxConnections;  // up to 18 digits
    std::optional<std::string> ownExtension; // up to 18 characters
    std::optional<int64_t> controller;
    std::optional<int64_t> cipValue;
    std::optional<uint64_t> cipMask;
};

// Keys are found case-insensitively in the first 127 characters, at the start or after
// ";" (blanks between allowed); a value runs to the next ";" or the end. Numbers: leading blanks
// skipped, then (for signed fields) a sign, then up to 18 digits; reading stops at the
// first other character. Never fails: what it cannot read is absent.
NetworkFields parseNetworkSettings(std::string_view text);

// True when the text names any network key (the test run after loading).
bool hasNetworkKey(std::string_view text);

} // namespace vort
