#include "tools/scanner-sim/frame_parser.h"

#include "tools/scanner-sim/setup_model.h"

namespace scanner_sim {

std::string_view frameStateName(FrameState state) {
    switch (state) {
    case FrameState::Hunting:
        return "Hunting";
    case FrameState::InFrame:
        return "InFrame";
    case FrameState::Overflow:
        return "Overflow";
    }
    return "?";
}

FrameParser::FrameParser(size_t maxPayload) : maxPayload_(maxPayload == 0 ? 1 : maxPayload) {}

void FrameParser::reset() {
    state_ = FrameState::Hunting;
    payload_.clear();
}

void FrameParser::feed(std::string_view bytes, const std::function<void(const FrameEvent&)>& sink) {
    size_t strayStart = 0;
    size_t strayLength = 0;
    auto flushStray = [&] {
        if (strayLength > 0)
            sink({FrameEventKind::Stray, bytes.substr(strayStart, strayLength)});
        strayLength = 0;
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (state_) {
        case FrameState::Hunting:
            if (c == kSoh) {
                flushStray();
                state_ = FrameState::InFrame;
                payload_.clear();
            } else {
                if (strayLength == 0)
                    strayStart = i;
                ++strayLength;
            }
            break;
        case FrameState::InFrame:
            if (c == kEot) {
                state_ = FrameState::Hunting;
                sink({FrameEventKind::Frame, payload_});
                payload_.clear();
            } else if (c == kSoh) {
                sink({FrameEventKind::Restarted, payload_});
                payload_.clear();
            } else if (payload_.size() >= maxPayload_) {
                state_ = FrameState::Overflow;
            } else {
                payload_ += c;
            }
            break;
        case FrameState::Overflow:
            if (c == kEot) {
                state_ = FrameState::Hunting;
                sink({FrameEventKind::Oversize, payload_});
                payload_.clear();
            } else if (c == kSoh) {
                sink({FrameEventKind::Restarted, payload_});
                payload_.clear();
                state_ = FrameState::InFrame;
            }
            break;
        }
    }
    flushStray();
}

} // namespace scanner_sim
