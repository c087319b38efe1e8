// ZDLE escaping of ZMODEM binary headers and data subpackets.
//
// The encoder escapes ZDLE itself, DLE, XON and XOFF (the last three also with the
// high bit set; ZDLE with the high bit is no ZDLE on an 8-bit line and goes bare) and
// a CR that follows '@' (so "@\r" cannot drive a modem escape); with escapeControl it
// escapes every control character (0x00-0x1F and 0x80-0x9F). An escaped byte is sent
// as ZDLE followed by the byte XOR 0x40.
//
// The decoder undoes it one byte at a time. It drops XON/XOFF the line may insert,
// recognises the four subpacket ends (ZDLE + 'h'..'k'), and reports the cancel
// sequence (five ZDLE/CAN bytes in a row).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace transvex {

inline constexpr uint8_t kZdle = 0x18; // also CAN
inline constexpr uint8_t kZcrce = 'h'; // end of frame, header follows
inline constexpr uint8_t kZcrcg = 'i'; // frame goes on, no answer wanted
inline constexpr uint8_t kZcrcq = 'j'; // frame goes on, ZACK wanted
inline constexpr uint8_t kZcrcw = 'k'; // end of frame, ZACK wanted
inline constexpr uint8_t kZrub0 = 'l'; // escaped 0x7F
inline constexpr uint8_t kZrub1 = 'm'; // escaped 0xFF

class ZdleEncoder {
public:
    explicit ZdleEncoder(bool escapeControl = false);

    void setEscapeControl(bool on);
    bool escapeControl() const { return escapeControl_; }

    void put(uint8_t byte, std::vector<uint8_t>& out);
    void put(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);
    // An unescaped byte that is part of the framing (ZDLE before a subpacket end).
    void putRaw(uint8_t byte, std::vector<uint8_t>& out) {
        out.push_back(byte);
        last_ = byte;
    }

private:
    enum : uint8_t { kPlain = 0, kEscape = 1, kEscapeAfterAt = 2 };
    std::array<uint8_t, 256> rule_{};
    bool escapeControl_ = false;
    uint8_t last_ = 0;
};

class ZdleDecoder {
public:
    // Results of push(): a data byte is 0..255; the others are below 0.
    enum : int {
        kNothing = -1,  // byte consumed (ZDLE prefix, dropped XON/XOFF)
        kFrameEnd = -2, // a subpacket end: frameEnd() says which
        kCancel = -3,   // five CANs in a row
        kBad = -4,      // ZDLE followed by a byte that is no escape
    };

    int push(uint8_t byte);
    uint8_t frameEnd() const { return frameEnd_; }
    // A ZDLE was read and its second byte is awaited.
    bool pending() const { return escaped_; }
    void reset() {
        escaped_ = false;
        cans_ = 0;
    }

private:
    bool escaped_ = false;
    int cans_ = 0;
    uint8_t frameEnd_ = 0;
};

} // namespace transvex
