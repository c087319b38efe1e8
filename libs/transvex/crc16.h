// CRC-16/XMODEM (polynomial 0x1021, initial 0, not reflected), as the XMODEM family
// and ZMODEM's 16-bit headers and subpackets use it. Appending the CRC most
// significant byte first and running the same CRC over the whole gives 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace transvex {

uint16_t crc16Update(uint16_t crc, std::span<const uint8_t> data);
uint16_t crc16Update(uint16_t crc, uint8_t byte);
inline uint16_t crc16(std::span<const uint8_t> data) {
    return crc16Update(0, data);
}

} // namespace transvex
