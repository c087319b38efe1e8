// XMODEM-family blocks: SOH (128 bytes) or STX (1024 bytes), the block number and its
// complement, the data, and an 8-bit sum or a CRC-16 (high byte first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace transvex {

inline constexpr uint8_t kSoh = 0x01;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kCan = 0x18;
inline constexpr uint8_t kCrcStart = 'C';
inline constexpr uint8_t kSub = 0x1A; // padding of the last block

// The block for data (at most 1024 bytes; up to 128 gives an SOH block unless
// forceLong), padded with pad.
std::vector<uint8_t> buildXmodemBlock(uint8_t number, std::span<const uint8_t> data, bool crc,
                                      uint8_t pad, bool forceLong = false);

// Bytes that follow the SOH/STX: number, complement, data and check.
inline size_t xmodemBlockRest(size_t dataLen, bool crc) {
    return 2 + dataLen + (crc ? 2 : 1);
}

enum class BlockCheck { Good, BadNumber, BadCheck };
// rest: what followed the SOH/STX (xmodemBlockRest bytes).
BlockCheck checkXmodemBlock(std::span<const uint8_t> rest, bool crc);

} // namespace transvex
