// Decodes the kernel's in-band error marks in received bytes and applies the receive
// filters (error-character replacement, NUL discard).
#pragma once

#include <cstddef>
#include <cstdint>

namespace serilon {

struct DecodeCounts {
    std::size_t errors = 0; // bytes received with a parity or framing error
    std::size_t breaks = 0; // breaks received
};

// With error marking on, the device delivers a data byte 0xFF as FF FF, a break as
// FF 00 00 and a byte x received with a parity or framing error as FF 00 x. The decoder
// turns data back into plain bytes, drops break marks, and puts the error character in
// place of each bad byte. A mark split across two reads is completed by the next call:
// the state is kept between calls. With NUL discard on, NUL data bytes are dropped (a
// replacement error character is kept even when it is NUL: it stands for a received byte).
class InputDecoder {
public:
    enum class State { Data, Mark, MarkZero };
    static const char* stateName(State state);

    // marking: the device marks errors in-band; off, bytes are data as they come.
    void configure(bool marking, std::uint8_t errorChar, bool discardNul);

    // Decodes len bytes from in to out, which has room for len + 1 bytes and does not
    // overlap in (a mark left open by the previous call can yield one extra byte).
    // Returns the number of bytes written to out.
    std::size_t decode(const std::uint8_t* in, std::size_t len, std::uint8_t* out,
                       DecodeCounts& counts);

    State state() const { return state_; }

private:
    State state_ = State::Data;
    bool marking_ = false;
    bool discardNul_ = false;
    std::uint8_t errorChar_ = 0;
};

} // namespace serilon
