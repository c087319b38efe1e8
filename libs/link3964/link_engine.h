#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "libs/link3964/block_framing.h"

namespace link3964 {

// Milliseconds on a monotonic clock; the engine never reads a clock itself.
using Millis = std::int64_t;

struct LinkTiming {
    Millis ackDelayMs = 2000; // TQ: wait for DLE after STX and after the block
    Millis charDelayMs = 220; // TZ: longest pause between two characters of a block
    int connectAttempts = 6;  // MZ1: STX attempts per block attempt, at least 1
    int blockAttempts = 6;    // MZ2: block attempts per telegram, at least 1
};

enum class LinkState {
    Idle,
    SendPause,        // about to send STX (after a refusal, or a random pause after a collision)
    SendAwaitConnect, // STX sent, waiting for the partner's DLE
    SendAwaitAck,     // block sent, waiting for the partner's DLE
    ReceiveAwaitStx,  // waiting for the partner's STX
    ReceiveBlock,     // DLE sent, taking the partner's block
    ReceiveDiscard,   // broken block: waiting for the line to go quiet, then NAK
};

const char* linkStateName(LinkState state);

enum class LinkOutcome { Sent, SendFailed, Yielded, Received, ReceiveFailed };

struct LinkResult {
    LinkOutcome outcome = LinkOutcome::SendFailed;
    std::int32_t status = 0;            // 0 or one of the LINK3964_* failures
    std::vector<std::uint8_t> telegram; // Received
    bool moreFollows = false;           // Received: the block ended with DLE ETB
    std::size_t neededLength = 0;       // ReceiveFailed with LINK3964_BUFFER_TOO_SMALL
};

// One side of a 3964/3964R link: bytes in (onBytes), bytes out (the Output callback),
// time in (onTime). It runs one operation at a time, a send or a receive; a send that
// yields to the partner's STX turns into a receive that the next startReceive picks up.
// Not thread-safe: one thread drives it.
class LinkEngine {
public:
    using Output = std::function<void(std::span<const std::uint8_t>)>;

    explicit LinkEngine(Output out) : out_(std::move(out)) {}

    // Used from the next operation on.
    void setTiming(const LinkTiming& timing) { nextTiming_ = timing; }

    LinkState state() const { return state_; }
    // A yielded receive is under way (started by a send, not yet finished).
    bool receiveUnderWay() const {
        return state_ == LinkState::ReceiveBlock || state_ == LinkState::ReceiveDiscard;
    }

    // Starts sending one telegram; needs state Idle. STX goes out at the first onTime
    // at or after now + pauseMs; an STX of the partner that arrives before our
    // connection is acknowledged makes a low-priority side yield (outcome Yielded,
    // then the engine receives), while a high-priority side ignores it.
    void startSend(std::span<const std::uint8_t> telegram, bool moreFollows, bool useBcc,
                   bool highPriority, Millis now, Millis pauseMs = 0);

    // Decides, before the answer goes out, whether a complete and intact telegram is
    // taken (DLE) or refused (NAK, outcome ReceiveFailed with
    // LINK3964_FILE_PROTOCOL_ERROR and the telegram in the result).
    using Acceptor =
        std::function<bool(const std::vector<std::uint8_t>& telegram, bool moreFollows)>;

    // Starts receiving one telegram of at most capacity bytes, waiting waitMs for STX.
    // In the middle of a yielded receive it only sets the capacity and the acceptor.
    void startReceive(std::size_t capacity, bool useBcc, Millis now, Millis waitMs,
                      Acceptor accept = {});

    // Feeds received bytes; returns how many were taken. Bytes after the end of an
    // operation are left to the caller (for the next operation).
    std::size_t onBytes(std::span<const std::uint8_t> bytes, Millis now);
    // Lets time pass: handles every deadline at or before now.
    void onTime(Millis now);
    // The bytes given to Output have left the device; the acknowledgement delay time
    // runs from timerStart (not from the moment they were queued).
    void onOutputDrained(Millis timerStart);
    // When onTime must be called next; none while idle.
    std::optional<Millis> deadline() const;
    // The most bytes to read from the line before feeding: 1 while the partner may
    // legitimately follow the awaited answer with bytes of its own (its STX).
    std::size_t readLimit() const;

    // Ends the running operation with a failure status (the port went away).
    void abort(std::int32_t status);

    // The result of the operation that ended, once.
    std::optional<LinkResult> takeResult();

    // The last yielded receive failed (the partner may have yielded too): the
    // caller should pause its next send by a random time.
    bool lastYieldFailed() const { return lastYieldFailed_; }

private:
    void handleByte(std::uint8_t byte, Millis now);
    void sendStx(Millis now);
    void connectRefused(Millis now, bool timedOut);
    void blockRefused(Millis now, bool timedOut);
    void yieldToPartner(Millis now);
    void acceptConnection(Millis now);
    void finishSend(LinkOutcome outcome, std::int32_t status);
    void finishReceive(std::int32_t status);
    void emit(std::span<const std::uint8_t> bytes) { out_(bytes); }
    void emit(std::uint8_t byte) { out_(std::span<const std::uint8_t>(&byte, 1)); }

    Output out_;
    LinkTiming nextTiming_;
    LinkTiming timing_;
    LinkState state_ = LinkState::Idle;
    std::optional<LinkResult> result_;

    // sending
    std::vector<std::uint8_t> block_;
    bool highPriority_ = false;
    bool useBcc_ = true;
    int connectTries_ = 0;
    int blockTries_ = 0;
    Millis pauseUntil_ = 0;
    Millis ackDeadline_ = 0;

    // receiving
    BlockReceiver blockRx_;
    std::size_t capacity_ = 0;
    Acceptor accept_;
    Millis waitDeadline_ = 0;
    bool sawJunk_ = false;
    Millis lastJunk_ = 0;
    Millis charDeadline_ = 0;
    Millis discardLimit_ = 0;
    bool yielded_ = false;
    bool lastYieldFailed_ = false;
    bool discardRestOfChunk_ = false;
};

} // namespace link3964
