#include "libs/link3964/dle_escaping.h"

#include "libs/link3964/control_chars.h"

namespace link3964 {

void appendDleDoubled(std::span<const std::uint8_t> telegram, std::vector<std::uint8_t>& out) {
    out.reserve(out.size() + telegram.size() + telegram.size() / 64 + 4);
    for (std::uint8_t b : telegram) {
        out.push_back(b);
        if (b == kDle)
            out.push_back(kDle);
    }
}

} // namespace link3964
