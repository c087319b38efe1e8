#include "libs/transvex/zdle.h"

namespace transvex {

ZdleEncoder::ZdleEncoder(bool escapeControl) {
    setEscapeControl(escapeControl);
}

void ZdleEncoder::setEscapeControl(bool on) {
    escapeControl_ = on;
    for (int b = 0; b < 256; ++b) {
        uint8_t rule = kPlain;
        switch (b & 0x7F) {
        case kZdle:
            // ZDLE itself; 0x98 is no ZDLE to an 8-bit receiver and travels bare.
            rule = b == kZdle ? kEscape : kPlain;
            break;
        case 0x10: // DLE
        case 0x11: // XON
        case 0x13: // XOFF
            rule = kEscape;
            break;
        case 0x0D:
            rule = kEscapeAfterAt;
            break;
        default:
            break;
        }
        if (on && (b & 0x60) == 0) {
            rule = kEscape;
        }
        rule_[b] = rule;
    }
}

void ZdleEncoder::put(uint8_t byte, std::vector<uint8_t>& out) {
    const uint8_t rule = rule_[byte];
    if (rule == kEscape || (rule == kEscapeAfterAt && (last_ & 0x7F) == '@')) {
        out.push_back(kZdle);
        byte ^= 0x40;
    }
    out.push_back(byte);
    last_ = byte;
}

void ZdleEncoder::put(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    // Written through a pointer into room for the worst case, then trimmed: this is
    // the sender's inner loop.
    const size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    uint8_t* p = out.data() + start;
    uint8_t last = last_;
    for (uint8_t b : bytes) {
        const uint8_t rule = rule_[b];
        if (rule == kEscape || (rule == kEscapeAfterAt && (last & 0x7F) == '@')) {
            *p++ = kZdle;
            b ^= 0x40;
        }
        *p++ = b;
        last = b;
    }
    last_ = last;
    out.resize(static_cast<size_t>(p - out.data()));
}

int ZdleDecoder::push(uint8_t byte) {
    if (!escaped_) {
        if (byte == kZdle) {
            escaped_ = true;
            cans_ = 1;
            return kNothing;
        }
        if ((byte & 0x7F) == 0x11 || (byte & 0x7F) == 0x13) {
            return kNothing; // flow control characters are never data
        }
        return byte;
    }
    if (byte == kZdle) {
        if (++cans_ >= 5) {
            escaped_ = false;
            cans_ = 0;
            return kCancel;
        }
        return kNothing;
    }
    if ((byte & 0x7F) == 0x11 || (byte & 0x7F) == 0x13) {
        return kNothing;
    }
    escaped_ = false;
    cans_ = 0;
    switch (byte) {
    case kZcrce:
    case kZcrcg:
    case kZcrcq:
    case kZcrcw:
        frameEnd_ = byte;
        return kFrameEnd;
    case kZrub0:
        return 0x7F;
    case kZrub1:
        return 0xFF;
    default:
        break;
    }
    if ((byte & 0x60) == 0x40) {
        return byte ^ 0x40;
    }
    return kBad;
}

} // namespace transvex
