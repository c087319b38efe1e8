#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace scanner_sim {

// Cuts the byte stream from the PC into command frames: SOH, payload, EOT.
//
// Bytes outside a frame are stray and ignored. A SOH inside a frame starts the frame
// again (the PC re-sends a whole frame after a failed attempt, so a half frame followed
// by a new SOH is a lost frame, not part of the next one). A payload longer than the
// limit is not kept: the parser waits for its EOT and reports it as oversize, so the
// scanner can refuse it without storing unbounded input.
enum class FrameState {
    Hunting,  // waiting for SOH
    InFrame,  // collecting payload
    Overflow, // payload too long, waiting for EOT
};

std::string_view frameStateName(FrameState state);

enum class FrameEventKind {
    Frame,     // a complete frame; bytes = payload without SOH and EOT
    Oversize,  // a frame whose payload passed the limit ended; bytes = its first part
    Restarted, // a SOH inside a frame dropped the partial payload in bytes
    Stray,     // bytes outside any frame
};

struct FrameEvent {
    FrameEventKind kind;
    std::string_view bytes; // valid only during the callback
};

class FrameParser {
public:
    // maxPayload: longest payload kept, in bytes (at least 1).
    explicit FrameParser(size_t maxPayload = 1024);

    // Feeds received bytes; sink is called for every event, in order.
    void feed(std::string_view bytes, const std::function<void(const FrameEvent&)>& sink);
    // Forgets any partial frame (after the line was garbled or a transfer took it).
    void reset();

    FrameState state() const { return state_; }

private:
    size_t maxPayload_;
    FrameState state_ = FrameState::Hunting;
    std::string payload_;
};

} // namespace scanner_sim
