#include "libs/transvex/crc16.h"

#include <array>

namespace transvex {
namespace {

constexpr std::array<uint16_t, 256> makeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr auto kTable = makeTable();

} // namespace

uint16_t crc16Update(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ byte) & 0xFF]);
}

uint16_t crc16Update(uint16_t crc, std::span<const uint8_t> data) {
    for (uint8_t byte : data) {
        crc = crc16Update(crc, byte);
    }
    return crc;
}

} // namespace transvex
