#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace link3964 {

// Appends the telegram's bytes to out with every DLE doubled, so that a DLE on the
// line that is not doubled always starts a control sequence (DLE ETX, DLE ETB).
void appendDleDoubled(std::span<const std::uint8_t> telegram, std::vector<std::uint8_t>& out);

} // namespace link3964
