// A firmware image for load runs: a 108-byte text header followed by pseudo-random
// code bytes, written to a file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace upgrade_bench {

// Bytes of the text header at the start of every image.
inline constexpr size_t kHeaderSize = 108;

struct ImageFields {
    std::string title = "VORT BENCH IMAGE";
    std::string version = "9.90";     // at most 7 characters
    std::string date = "Dec 07 2026"; // at most 11 characters
};

// The header's 1-based fields: title 1..48, code size (decimal) 49..56, CRC-16 of the
// code (4 hexadecimal digits) 65..68, version 81..87, date 97..107; blanks elsewhere and
// a line feed in byte 108. A field longer than its room is cut.
std::vector<uint8_t> makeHeader(const ImageFields& fields, std::span<const uint8_t> code);

// A whole image: header plus totalSize - kHeaderSize code bytes drawn from seed.
// totalSize below kHeaderSize + 1 is raised to that (an image carries code).
std::vector<uint8_t> makeImage(size_t totalSize, uint32_t seed, const ImageFields& fields = {});

// Writes data to path; false (errno set) when the file cannot be written completely.
bool writeImageFile(const std::string& path, std::span<const uint8_t> data);

} // namespace upgrade_bench
