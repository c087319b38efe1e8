#include "libs/link3964/block_check.h"

namespace link3964 {

void BlockCheck::add(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes)
        value_ ^= b;
}

} // namespace link3964
