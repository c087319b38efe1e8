#include "libs/transvex/zmodem_frame.h"

#include "libs/transvex/crc16.h"
#include "libs/transvex/crc32.h"
#include "platform/component/hex_digit.h"

#include <algorithm>

namespace transvex {
namespace {

using vort::component::hexDigitValue;

constexpr char kHexDigits[] = "0123456789abcdef";

void putHex(uint8_t byte, std::vector<uint8_t>& out) {
    out.push_back(static_cast<uint8_t>(kHexDigits[byte >> 4]));
    out.push_back(static_cast<uint8_t>(kHexDigits[byte & 0x0F]));
}

bool carriesData(uint8_t type) {
    return type == ZFILE || type == ZSINIT || type == ZDATA || type == ZCOMMAND;
}

} // namespace

const char* zFrameTypeName(uint8_t type) {
    static const char* const kNames[] = {"ZRQINIT", "ZRINIT", "ZSINIT",   "ZACK",     "ZFILE",
                                         "ZSKIP",   "ZNAK",   "ZABORT",   "ZFIN",     "ZRPOS",
                                         "ZDATA",   "ZEOF",   "ZFERR",    "ZCRC",     "ZCHALLENGE",
                                         "ZCOMPL",  "ZCAN",   "ZFREECNT", "ZCOMMAND", "ZSTDERR"};
    return type < sizeof(kNames) / sizeof(kNames[0]) ? kNames[type] : "unknown";
}

ZHeader ZHeader::withPosition(uint8_t type, uint32_t pos) {
    ZHeader h;
    h.type = type;
    h.p = {static_cast<uint8_t>(pos), static_cast<uint8_t>(pos >> 8),
           static_cast<uint8_t>(pos >> 16), static_cast<uint8_t>(pos >> 24)};
    return h;
}

ZHeader ZHeader::withFlags(uint8_t type, uint8_t f0, uint8_t f1, uint8_t f2, uint8_t f3) {
    ZHeader h;
    h.type = type;
    h.p = {f3, f2, f1, f0};
    return h;
}

void appendHexHeader(const ZHeader& header, std::vector<uint8_t>& out) {
    out.push_back(kZpad);
    out.push_back(kZpad);
    out.push_back(kZdle);
    out.push_back('B');
    uint16_t crc = crc16Update(0, header.type);
    putHex(header.type, out);
    for (uint8_t b : header.p) {
        putHex(b, out);
        crc = crc16Update(crc, b);
    }
    putHex(static_cast<uint8_t>(crc >> 8), out);
    putHex(static_cast<uint8_t>(crc), out);
    out.push_back('\r');
    out.push_back(0x8A); // LF with the high bit, as receivers expect after a hex header
    if (header.type != ZACK && header.type != ZFIN) {
        out.push_back(0x11);
    }
}

void appendBinaryHeader(const ZHeader& header, bool crc32, ZdleEncoder& enc,
                        std::vector<uint8_t>& out) {
    out.push_back(kZpad);
    out.push_back(kZdle);
    out.push_back(crc32 ? 'C' : 'A');
    enc.put(header.type, out);
    enc.put(header.p, out);
    if (crc32) {
        uint32_t crc = crc32Update(crc32Update(crc32Init(), header.type), header.p);
        crc = crc32Final(crc);
        for (int i = 0; i < 4; ++i) {
            enc.put(static_cast<uint8_t>(crc >> (8 * i)), out);
        }
    } else {
        const uint16_t crc = crc16Update(crc16Update(0, header.type), header.p);
        enc.put(static_cast<uint8_t>(crc >> 8), out);
        enc.put(static_cast<uint8_t>(crc), out);
    }
}

void appendSubpacket(std::span<const uint8_t> data, uint8_t frameEnd, bool crc32, ZdleEncoder& enc,
                     std::vector<uint8_t>& out) {
    enc.put(data, out);
    enc.putRaw(kZdle, out);
    enc.putRaw(frameEnd, out);
    if (crc32) {
        uint32_t crc = crc32Update(crc32Update(crc32Init(), data), frameEnd);
        crc = crc32Final(crc);
        for (int i = 0; i < 4; ++i) {
            enc.put(static_cast<uint8_t>(crc >> (8 * i)), out);
        }
    } else {
        const uint16_t crc = crc16Update(crc16Update(0, data), frameEnd);
        enc.put(static_cast<uint8_t>(crc >> 8), out);
        enc.put(static_cast<uint8_t>(crc), out);
    }
    if (frameEnd == kZcrcw) {
        out.push_back(0x11);
    }
}

const char* ZFrameParser::kindName(Kind kind) {
    switch (kind) {
    case Kind::Header:
        return "Header";
    case Kind::Data:
        return "Data";
    case Kind::BadHeader:
        return "BadHeader";
    case Kind::BadData:
        return "BadData";
    case Kind::Cancel:
        return "Cancel";
    }
    return "?";
}

void ZFrameParser::hunt() {
    state_ = State::Hunt;
    dec_.reset();
    data_.clear();
}

void ZFrameParser::skipData() {
    skip_ = true;
    hunt();
}

void ZFrameParser::headerDone(const Handler& handler) {
    Event ev;
    ev.kind = Kind::Header;
    ev.header.type = hdr_[0];
    ev.header.p = {hdr_[1], hdr_[2], hdr_[3], hdr_[4]};
    ev.header.encoding = enc_;
    skip_ = false;
    hunt();
    handler(ev);
    if (!skip_ && !headersOnly_ && carriesData(ev.header.type)) {
        // A hex header ends in CR LF, which are not the subpacket's data.
        state_ = enc_ == ZEncoding::Hex ? State::HexTail : State::Data;
        hexTail_ = 0;
        dataCrc32_ = enc_ == ZEncoding::Bin32;
        data_.clear();
        dec_.reset();
    }
}

void ZFrameParser::push(std::span<const uint8_t> bytes, const Handler& handler) {
    auto emit = [&](Kind kind) {
        Event ev;
        ev.kind = kind;
        hunt();
        handler(ev);
    };
    const uint8_t* const in = bytes.data();
    const size_t count = bytes.size();
    for (size_t i = 0; i < count; ++i) {
        if (state_ == State::Data && !dec_.pending()) {
            // Most of a subpacket is plain data: take the run up to the next byte that
            // needs the decoder in one step.
            size_t end = i;
            const size_t room = kMaxSubpacket - std::min(kMaxSubpacket, data_.size());
            const size_t limit = std::min(count, i + room + 1);
            while (end < limit) {
                const uint8_t b = in[end];
                if (b == kZdle || (b & 0x7F) == 0x11 || (b & 0x7F) == 0x13) {
                    break;
                }
                ++end;
            }
            if (end - i > room) {
                emit(Kind::BadData);
                i = i + room; // the byte past the limit is dropped with the subpacket
                continue;
            }
            data_.insert(data_.end(), in + i, in + end);
            i = end;
            if (i == count) {
                break;
            }
        }
        const uint8_t c = in[i];
        if (state_ == State::HexTail) {
            if ((c & 0x7F) == '\r' || (c & 0x7F) == '\n') {
                if (++hexTail_ <= 2) {
                    continue;
                }
            }
            state_ = State::Data;
        }
        switch (state_) {
        case State::Hunt:
            if (c == kZdle) {
                if (++rawCans_ >= 5) {
                    rawCans_ = 0;
                    emit(Kind::Cancel);
                }
                break;
            }
            rawCans_ = 0;
            if (c == kZpad) {
                state_ = State::Pad;
            }
            break;
        case State::Pad:
            if (c == kZdle) {
                rawCans_ = 1;
                state_ = State::Zdle;
            } else if (c != kZpad) {
                state_ = State::Hunt;
            }
            break;
        case State::Zdle:
            if (c == 'A' || c == 'C') {
                enc_ = c == 'A' ? ZEncoding::Bin16 : ZEncoding::Bin32;
                hdrLen_ = 0;
                dec_.reset();
                state_ = State::Binary;
            } else if (c == 'B') {
                enc_ = ZEncoding::Hex;
                hexLen_ = 0;
                state_ = State::Hex;
            } else if (c == kZdle) {
                if (++rawCans_ >= 5) {
                    rawCans_ = 0;
                    emit(Kind::Cancel);
                }
            } else {
                state_ = c == kZpad ? State::Pad : State::Hunt;
            }
            break;
        case State::Hex: {
            if (hexDigitValue(static_cast<char>(c)) < 0) {
                emit(Kind::BadHeader);
                if (c == kZpad) {
                    state_ = State::Pad;
                }
                break;
            }
            hex_[hexLen_++] = static_cast<char>(c);
            if (hexLen_ == hex_.size()) {
                uint16_t crc = 0;
                for (size_t i = 0; i < 7; ++i) {
                    const uint8_t b = static_cast<uint8_t>(hexDigitValue(hex_[2 * i]) << 4 |
                                                           hexDigitValue(hex_[2 * i + 1]));
                    hdr_[i] = b;
                    crc = crc16Update(crc, b);
                }
                if (crc == 0) {
                    headerDone(handler);
                } else {
                    emit(Kind::BadHeader);
                }
            }
            break;
        }
        case State::Binary: {
            const int r = dec_.push(c);
            if (r == ZdleDecoder::kNothing) {
                break;
            }
            if (r == ZdleDecoder::kCancel) {
                emit(Kind::Cancel);
                break;
            }
            if (r < 0) {
                emit(Kind::BadHeader);
                break;
            }
            hdr_[hdrLen_++] = static_cast<uint8_t>(r);
            if (enc_ == ZEncoding::Bin16 && hdrLen_ == 7) {
                if (crc16(std::span<const uint8_t>(hdr_.data(), 7)) == 0) {
                    headerDone(handler);
                } else {
                    emit(Kind::BadHeader);
                }
            } else if (enc_ == ZEncoding::Bin32 && hdrLen_ == 9) {
                const uint32_t crc = crc32(std::span<const uint8_t>(hdr_.data(), 5));
                const uint32_t got = hdr_[5] | (uint32_t(hdr_[6]) << 8) |
                                     (uint32_t(hdr_[7]) << 16) | (uint32_t(hdr_[8]) << 24);
                if (crc == got) {
                    headerDone(handler);
                } else {
                    emit(Kind::BadHeader);
                }
            }
            break;
        }
        case State::HexTail:
        case State::Data: {
            const int r = dec_.push(c);
            if (r == ZdleDecoder::kNothing) {
                break;
            }
            if (r == ZdleDecoder::kCancel) {
                emit(Kind::Cancel);
                break;
            }
            if (r == ZdleDecoder::kFrameEnd) {
                frameEnd_ = dec_.frameEnd();
                crcLen_ = 0;
                state_ = State::DataCrc;
                break;
            }
            if (r < 0 || data_.size() >= kMaxSubpacket) {
                emit(Kind::BadData);
                break;
            }
            data_.push_back(static_cast<uint8_t>(r));
            break;
        }
        case State::DataCrc: {
            const int r = dec_.push(c);
            if (r == ZdleDecoder::kNothing) {
                break;
            }
            if (r == ZdleDecoder::kCancel) {
                emit(Kind::Cancel);
                break;
            }
            if (r < 0) {
                emit(Kind::BadData);
                break;
            }
            crc_[crcLen_++] = static_cast<uint8_t>(r);
            const size_t need = dataCrc32_ ? 4 : 2;
            if (crcLen_ < need) {
                break;
            }
            bool good;
            if (dataCrc32_) {
                const uint32_t crc =
                    crc32Final(crc32Update(crc32Update(crc32Init(), data_), frameEnd_));
                const uint32_t got = crc_[0] | (uint32_t(crc_[1]) << 8) |
                                     (uint32_t(crc_[2]) << 16) | (uint32_t(crc_[3]) << 24);
                good = crc == got;
            } else {
                uint16_t crc = crc16Update(crc16Update(0, data_), frameEnd_);
                crc = crc16Update(crc, crc_[0]);
                crc = crc16Update(crc, crc_[1]);
                good = crc == 0;
            }
            if (!good) {
                emit(Kind::BadData);
                break;
            }
            Event ev;
            ev.kind = Kind::Data;
            ev.data = data_;
            ev.frameEnd = frameEnd_;
            skip_ = false;
            const bool frameGoesOn = frameEnd_ == kZcrcg || frameEnd_ == kZcrcq;
            state_ = frameGoesOn ? State::Data : State::Hunt;
            handler(ev);
            data_.clear();
            dec_.reset();
            if (skip_) {
                state_ = State::Hunt;
            }
            break;
        }
        }
    }
}

} // namespace transvex
