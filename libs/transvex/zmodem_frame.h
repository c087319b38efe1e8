// ZMODEM headers and data subpackets: building them for the line and finding them
// in what the line delivers.
//
// A header is a frame type and four bytes ZP0..ZP3 (a position is ZP0 lowest; flags
// are ZF0 = ZP3 .. ZF3 = ZP0). It travels as hex (ZPAD ZPAD ZDLE 'B', 14 hex digits
// with a CRC-16, CR LF, and XON except after ZACK and ZFIN), as binary with a CRC-16
// (ZPAD ZDLE 'A') or as binary with a CRC-32 (ZPAD ZDLE 'C'), binary ones escaped.
// ZFILE, ZSINIT, ZDATA and ZCOMMAND headers are followed by data subpackets: escaped
// data, ZDLE and one of the four subpacket ends, then the CRC of data and end byte,
// of the same width as the header's. A subpacket never carries more than 8 KiB.
#pragma once

#include "libs/transvex/zdle.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace transvex {

inline constexpr uint8_t kZpad = '*';
inline constexpr size_t kMaxSubpacket = 8192;

enum ZFrameType : uint8_t {
    ZRQINIT = 0,
    ZRINIT = 1,
    ZSINIT = 2,
    ZACK = 3,
    ZFILE = 4,
    ZSKIP = 5,
    ZNAK = 6,
    ZABORT = 7,
    ZFIN = 8,
    ZRPOS = 9,
    ZDATA = 10,
    ZEOF = 11,
    ZFERR = 12,
    ZCRC = 13,
    ZCHALLENGE = 14,
    ZCOMPL = 15,
    ZCAN = 16,
    ZFREECNT = 17,
    ZCOMMAND = 18,
    ZSTDERR = 19,
};
const char* zFrameTypeName(uint8_t type);

// ZRINIT ZF0 capability bits.
enum : uint8_t {
    kCanFdx = 0x01,  // full duplex
    kCanOvio = 0x02, // can receive while writing to disk
    kCanBrk = 0x04,
    kCanFc32 = 0x20, // takes CRC-32 frames
    kEscCtl = 0x40,  // wants every control character escaped
    kEsc8 = 0x80,
};
// ZSINIT ZF0 bits.
enum : uint8_t { kTescCtl = 0x40, kTesc8 = 0x80 };
// ZFILE ZF0 (conversion) and ZF1 (management) values.
enum : uint8_t { kZcBin = 1, kZcNl = 2, kZcResume = 3 };
enum : uint8_t {
    kZmNewl = 1,
    kZmCrc = 2,
    kZmAppend = 3,
    kZmClobber = 4,
    kZmNew = 5,
    kZmDiff = 6,
    kZmProtect = 7,
    kZmChange = 8,
    kZmMask = 0x1F,
};

enum class ZEncoding : uint8_t { Hex, Bin16, Bin32 };

struct ZHeader {
    uint8_t type = 0;
    std::array<uint8_t, 4> p{}; // ZP0..ZP3
    ZEncoding encoding = ZEncoding::Hex;

    uint32_t position() const {
        return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    uint8_t f0() const { return p[3]; }
    uint8_t f1() const { return p[2]; }
    uint8_t f2() const { return p[1]; }
    uint8_t f3() const { return p[0]; }

    static ZHeader withPosition(uint8_t type, uint32_t pos);
    static ZHeader withFlags(uint8_t type, uint8_t f0, uint8_t f1 = 0, uint8_t f2 = 0,
                             uint8_t f3 = 0);
};

void appendHexHeader(const ZHeader& header, std::vector<uint8_t>& out);
void appendBinaryHeader(const ZHeader& header, bool crc32, ZdleEncoder& enc,
                        std::vector<uint8_t>& out);
// An XON follows a ZCRCW subpacket, so a receiver held by XOFF starts again.
void appendSubpacket(std::span<const uint8_t> data, uint8_t frameEnd, bool crc32, ZdleEncoder& enc,
                     std::vector<uint8_t>& out);

// Finds headers and subpackets in received bytes and hands each to a handler.
class ZFrameParser {
public:
    enum class Kind {
        Header,    // header: a header with a good CRC
        Data,      // data + frameEnd: a subpacket with a good CRC
        BadHeader, // a header start whose rest or CRC was wrong
        BadData,   // a subpacket that was too long, badly escaped or failed its CRC
        Cancel,    // the cancel sequence
    };
    struct Event {
        Kind kind = Kind::Header;
        ZHeader header;
        std::span<const uint8_t> data;
        uint8_t frameEnd = 0;
    };
    using Handler = std::function<void(const Event&)>;

    // headersOnly: never expect subpackets (a sender reading its receiver's answers).
    explicit ZFrameParser(bool headersOnly = false) : headersOnly_(headersOnly) {}

    void push(std::span<const uint8_t> bytes, const Handler& handler);
    // From a handler: do not read subpackets after the header just reported, or stop
    // reading the current frame's subpackets; look for the next header instead.
    void skipData();
    bool inData() const { return state_ == State::Data || state_ == State::DataCrc; }

    static const char* kindName(Kind kind);

private:
    enum class State { Hunt, Pad, Zdle, Hex, HexTail, Binary, Data, DataCrc };
    void hunt();
    void headerDone(const Handler& handler);

    bool headersOnly_;
    State state_ = State::Hunt;
    ZdleDecoder dec_;
    int rawCans_ = 0;
    ZEncoding enc_ = ZEncoding::Hex;
    std::array<uint8_t, 9> hdr_{};
    size_t hdrLen_ = 0;
    std::array<char, 14> hex_{};
    size_t hexLen_ = 0;
    bool dataCrc32_ = false;
    std::vector<uint8_t> data_;
    uint8_t frameEnd_ = 0;
    std::array<uint8_t, 4> crc_{};
    size_t crcLen_ = 0;
    bool skip_ = false;
    int hexTail_ = 0;
};

} // namespace transvex
