#include "libs/serilon/input_decoder.h"

namespace serilon {

const char* InputDecoder::stateName(State state) {
    switch (state) {
    case State::Data:
        return "Data";
    case State::Mark:
        return "Mark";
    case State::MarkZero:
        return "MarkZero";
    }
    return "?";
}

void InputDecoder::configure(bool marking, std::uint8_t errorChar, bool discardNul) {
    if (!marking) {
        // Marks stop with the switch; a half-seen mark has no meaning any more.
        state_ = State::Data;
    }
    marking_ = marking;
    errorChar_ = errorChar;
    discardNul_ = discardNul;
}

std::size_t InputDecoder::decode(const std::uint8_t* in, std::size_t len, std::uint8_t* out,
                                 DecodeCounts& counts) {
    std::size_t n = 0;
    auto emitData = [&](std::uint8_t c) {
        if (!(discardNul_ && c == 0)) {
            out[n++] = c;
        }
    };
    for (std::size_t i = 0; i < len; ++i) {
        const std::uint8_t c = in[i];
        if (!marking_) {
            emitData(c);
            continue;
        }
        switch (state_) {
        case State::Data:
            if (c == 0xFF) {
                state_ = State::Mark;
            } else {
                emitData(c);
            }
            break;
        case State::Mark:
            if (c == 0xFF) {
                emitData(0xFF);
                state_ = State::Data;
            } else if (c == 0) {
                state_ = State::MarkZero;
            } else {
                // Not a mark the kernel makes; keep both bytes rather than lose one.
                emitData(0xFF);
                emitData(c);
                state_ = State::Data;
            }
            break;
        case State::MarkZero:
            if (c == 0) {
                ++counts.breaks;
            } else {
                ++counts.errors;
                out[n++] = errorChar_;
            }
            state_ = State::Data;
            break;
        }
    }
    return n;
}

} // namespace serilon
