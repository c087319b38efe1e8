#include "libs/transvex/engine.h"

#include <array>

namespace transvex {

std::span<const uint8_t> cancelSequence() {
    static constexpr std::array<uint8_t, 18> kSeq = {0x18, 0x18, 0x18, 0x18, 0x18, 0x18,
                                                     0x18, 0x18, 0x08, 0x08, 0x08, 0x08,
                                                     0x08, 0x08, 0x08, 0x08, 0x08, 0x08};
    return kSeq;
}

} // namespace transvex
