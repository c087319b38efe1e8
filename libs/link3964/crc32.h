#pragma once

#include <cstdint>
#include <span>

namespace link3964 {

// CRC-32 as in IEEE 802.3 (reflected, polynomial 0xEDB88320, initial and final
// value 0xFFFFFFFF), computed piece by piece: crc = crc32Update(crc, piece) starting
// from 0; crc32Update(0, "123456789") is 0xCBF43926.
std::uint32_t crc32Update(std::uint32_t crc, std::span<const std::uint8_t> bytes);

} // namespace link3964
