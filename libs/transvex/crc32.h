// CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320), as ZMODEM's 32-bit headers
// and subpackets use it: start with crc32Init(), update, and finish with
// crc32Final(); the CRC is sent least significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace transvex {

constexpr uint32_t crc32Init() {
    return 0xFFFFFFFFu;
}
uint32_t crc32Update(uint32_t crc, std::span<const uint8_t> data);
uint32_t crc32Update(uint32_t crc, uint8_t byte);
constexpr uint32_t crc32Final(uint32_t crc) {
    return ~crc;
}
inline uint32_t crc32(std::span<const uint8_t> data) {
    return crc32Final(crc32Update(crc32Init(), data));
}

} // namespace transvex
