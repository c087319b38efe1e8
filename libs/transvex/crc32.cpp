#include "libs/transvex/crc32.h"

#include <array>

namespace transvex {
namespace {

// Four tables let the bulk update take four bytes per step (slicing by four); the
// throughput of large subpackets depends on it.
constexpr std::array<std::array<uint32_t, 256>, 4> makeTables() {
    std::array<std::array<uint32_t, 256>, 4> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
        t[0][i] = crc;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        for (int k = 1; k < 4; ++k) {
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        }
    }
    return t;
}

constexpr auto kTables = makeTables();

} // namespace

uint32_t crc32Update(uint32_t crc, uint8_t byte) {
    return (crc >> 8) ^ kTables[0][(crc ^ byte) & 0xFF];
}

uint32_t crc32Update(uint32_t crc, std::span<const uint8_t> data) {
    const uint8_t* p = data.data();
    size_t n = data.size();
    while (n >= 4) {
        crc ^= static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        crc = kTables[3][crc & 0xFF] ^ kTables[2][(crc >> 8) & 0xFF] ^
              kTables[1][(crc >> 16) & 0xFF] ^ kTables[0][crc >> 24];
        p += 4;
        n -= 4;
    }
    while (n-- > 0) {
        crc = crc32Update(crc, *p++);
    }
    return crc;
}

} // namespace transvex
