#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scanner_sim {

// Size of the text header at the start of a firmware image. An image must be longer
// than its header to carry any code.
inline constexpr size_t kImageHeaderSize = 108;

// The header fields a firmware image carries, as text, each with trailing blanks and
// NULs removed and any other byte outside printable ASCII replaced by '?', so that a
// field can go into an answer line safely.
struct ImageHeader {
    std::string codeSize; // bytes 49..56 (1-based)
    std::string crc16;    // bytes 65..68, hexadecimal digits
    std::string version;  // bytes 81..87
    std::string date;     // bytes 97..107
};

// Reads the header of an image given its first bytes (more may follow). Nothing when the
// image is not longer than the header.
std::optional<ImageHeader> parseImageHeader(std::string_view image, size_t imageSize);

// The version number of a revision or version text as the configuration program compares
// them: every "." removed and the rest read as one decimal number, blanks around allowed
// ("3.22" is 322, "3.3" is 33). Nothing when the text does not convert.
std::optional<double> dottedVersionNumber(std::string_view text);

// -1, 0 or 1 as a's number is smaller, equal or greater than b's; nothing when either
// does not convert.
std::optional<int> compareDottedVersions(std::string_view a, std::string_view b);

} // namespace scanner_sim
