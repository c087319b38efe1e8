#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scanner_sim {

// Writes bytes as one word of printable ASCII: 0x21..0x7E stand for themselves except
// the backslash, which becomes "\\"; every other byte (space and control characters
// included) becomes "\xNN" with two lower-case hex digits. The result never holds a
// blank or a line end, so logs keep one frame per line and one word per frame.
std::string escapeBytes(std::string_view bytes);

// The inverse of escapeBytes. Also accepts "\r", "\n", "\t", "\s" (space) and
// literal blanks. Returns nothing for a malformed escape.
std::optional<std::string> unescapeBytes(std::string_view text);

} // namespace scanner_sim
