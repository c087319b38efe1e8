#pragma once

#include <cstdint>

namespace link3964 {

// The control characters of the procedure.
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kEtb = 0x17;

// The longest telegram the 16-bit interface can carry.
inline constexpr std::size_t kMaxTelegram = 65535;

} // namespace link3964
