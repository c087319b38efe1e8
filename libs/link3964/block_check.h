#pragma once

#include <cstdint>
#include <span>

namespace link3964 {

// Block check character of 3964R: the XOR of every byte sent after the receiver's
// DLE, doubled DLEs and the closing DLE ETX/ETB included.
class BlockCheck {
public:
    void add(std::uint8_t byte) { value_ ^= byte; }
    void add(std::span<const std::uint8_t> bytes);
    std::uint8_t value() const { return value_; }
    void reset() { value_ = 0; }

private:
    std::uint8_t value_ = 0;
};

} // namespace link3964
