#include "libs/link3964/link_engine.h"

#include <algorithm>

#include "libs/link3964/control_chars.h"
#include "link3964/link3964.h"

namespace link3964 {

const char* linkStateName(LinkState state) {
    switch (state) {
    case LinkState::Idle:
        return "Idle";
    case LinkState::SendPause:
        return "SendPause";
    case LinkState::SendAwaitConnect:
        return "SendAwaitConnect";
    case LinkState::SendAwaitAck:
        return "SendAwaitAck";
    case LinkState::ReceiveAwaitStx:
        return "ReceiveAwaitStx";
    case LinkState::ReceiveBlock:
        return "ReceiveBlock";
    case LinkState::ReceiveDiscard:
        return "ReceiveDiscard";
    }
    return "?";
}

void LinkEngine::startSend(std::span<const std::uint8_t> telegram, bool moreFollows, bool useBcc,
                           bool highPriority, Millis now, Millis pauseMs) {
    if (state_ != LinkState::Idle)
        return;
    timing_ = nextTiming_;
    result_.reset();
    block_ = buildBlock(telegram, moreFollows, useBcc);
    useBcc_ = useBcc;
    highPriority_ = highPriority;
    connectTries_ = 0;
    blockTries_ = 0;
    pauseUntil_ = now + std::max<Millis>(pauseMs, 0);
    state_ = LinkState::SendPause;
}

void LinkEngine::startReceive(std::size_t capacity, bool useBcc, Millis now, Millis waitMs,
                              Acceptor accept) {
    capacity_ = std::min(capacity, kMaxTelegram);
    accept_ = std::move(accept);
    if (receiveUnderWay())
        return; // a yielded receive goes on with the settings it began with
    if (state_ != LinkState::Idle)
        return;
    timing_ = nextTiming_;
    result_.reset();
    useBcc_ = useBcc;
    yielded_ = false;
    sawJunk_ = false;
    waitDeadline_ = now + std::max<Millis>(waitMs, 0);
    state_ = LinkState::ReceiveAwaitStx;
}

std::size_t LinkEngine::onBytes(std::span<const std::uint8_t> bytes, Millis now) {
    std::size_t i = 0;
    discardRestOfChunk_ = false;
    while (i < bytes.size() && state_ != LinkState::Idle) {
        handleByte(bytes[i++], now);
        if (discardRestOfChunk_) {
            // Whatever came with the STX or DLE that we just answered was on the line
            // before our answer, so it cannot belong to the exchange that follows.
            discardRestOfChunk_ = false;
            i = bytes.size();
        }
    }
    return i;
}

void LinkEngine::handleByte(std::uint8_t byte, Millis now) {
    switch (state_) {
    case LinkState::Idle:
        return;
    case LinkState::SendPause:
        // Our STX is not out yet: a waiting partner is served first unless we rank higher.
        if (byte == kStx && !highPriority_)
            yieldToPartner(now);
        return;
    case LinkState::SendAwaitConnect:
        if (byte == kDle) {
            emit(block_);
            ++blockTries_;
            ackDeadline_ = now + timing_.ackDelayMs;
            state_ = LinkState::SendAwaitAck;
            discardRestOfChunk_ = true;
        } else if (byte == kStx) {
            // Both started at once: the high-priority side waits for its DLE.
            if (!highPriority_)
                yieldToPartner(now);
        } else {
            connectRefused(now, false);
        }
        return;
    case LinkState::SendAwaitAck:
        if (byte == kDle) {
            lastYieldFailed_ = false;
            finishSend(LinkOutcome::Sent, LINK3964_OK);
        } else if (byte == kStx && !highPriority_) {
            // The partner missed our block and starts its own: take it first.
            yieldToPartner(now);
        } else {
            // NAK, or anything but DLE: the block must be repeated. A high-priority
            // side that sees the partner's STX repeats at once; the partner yields.
            blockRefused(now, byte == kStx);
        }
        return;
    case LinkState::ReceiveAwaitStx:
        if (byte == kStx) {
            acceptConnection(now);
        } else {
            sawJunk_ = true;
            lastJunk_ = now;
        }
        return;
    case LinkState::ReceiveBlock: {
        charDeadline_ = now + timing_.charDelayMs;
        BlockEvent ev = blockRx_.feed(byte);
        switch (ev) {
        case BlockEvent::None:
            return;
        case BlockEvent::Complete: {
            std::size_t size = blockRx_.telegram().size();
            if (size > capacity_) {
                // Refusing the block keeps it with the sender, who repeats it; by then
                // the caller has a buffer large enough.
                emit(kNak);
                result_ = LinkResult{LinkOutcome::ReceiveFailed, LINK3964_BUFFER_TOO_SMALL};
                result_->neededLength = size;
                state_ = LinkState::Idle;
                if (yielded_)
                    lastYieldFailed_ = false; // a real partner telegram, not a collision
                return;
            }
            if (accept_ && !accept_(blockRx_.telegram(), blockRx_.moreFollows())) {
                emit(kNak);
                LinkResult refused{LinkOutcome::ReceiveFailed, LINK3964_FILE_PROTOCOL_ERROR};
                refused.telegram = blockRx_.takeTelegram();
                result_ = std::move(refused);
                state_ = LinkState::Idle;
                return;
            }
            emit(kDle);
            LinkResult r{LinkOutcome::Received, LINK3964_OK};
            r.moreFollows = blockRx_.moreFollows();
            r.telegram = blockRx_.takeTelegram();
            result_ = std::move(r);
            lastYieldFailed_ = false;
            state_ = LinkState::Idle;
            return;
        }
        case BlockEvent::BccMismatch:
            emit(kNak);
            finishReceive(LINK3964_BCC_ERROR);
            return;
        case BlockEvent::FrameError:
        case BlockEvent::TooLong:
            // The sender is still sending: answer only once the line is quiet, so
            // that it sees our NAK after its block.
            state_ = LinkState::ReceiveDiscard;
            discardLimit_ = now + std::max(timing_.ackDelayMs, 4 * timing_.charDelayMs);
            return;
        }
        return;
    }
    case LinkState::ReceiveDiscard:
        charDeadline_ = now + timing_.charDelayMs;
        return;
    }
}

void LinkEngine::onTime(Millis now) {
    switch (state_) {
    case LinkState::Idle:
        return;
    case LinkState::SendPause:
        if (now >= pauseUntil_)
            sendStx(now);
        return;
    case LinkState::SendAwaitConnect:
        if (now >= ackDeadline_)
            connectRefused(now, true);
        return;
    case LinkState::SendAwaitAck:
        if (now >= ackDeadline_)
            blockRefused(now, true);
        return;
    case LinkState::ReceiveAwaitStx:
        if (now >= waitDeadline_ || (sawJunk_ && now >= lastJunk_ + timing_.charDelayMs))
            finishReceive(LINK3964_NOTHING_RECEIVED);
        return;
    case LinkState::ReceiveBlock:
        if (now >= charDeadline_) {
            emit(kNak);
            finishReceive(LINK3964_CHARACTER_TIMEOUT);
        }
        return;
    case LinkState::ReceiveDiscard:
        if (now >= charDeadline_ || now >= discardLimit_) {
            emit(kNak);
            finishReceive(LINK3964_FRAME_ERROR);
        }
        return;
    }
}

void LinkEngine::onOutputDrained(Millis timerStart) {
    if (state_ == LinkState::SendAwaitConnect || state_ == LinkState::SendAwaitAck)
        ackDeadline_ = std::max(ackDeadline_, timerStart + timing_.ackDelayMs);
}

std::optional<Millis> LinkEngine::deadline() const {
    switch (state_) {
    case LinkState::Idle:
        return std::nullopt;
    case LinkState::SendPause:
        return pauseUntil_;
    case LinkState::SendAwaitConnect:
    case LinkState::SendAwaitAck:
        return ackDeadline_;
    case LinkState::ReceiveAwaitStx:
        return sawJunk_ ? std::min(waitDeadline_, lastJunk_ + timing_.charDelayMs) : waitDeadline_;
    case LinkState::ReceiveBlock:
        return charDeadline_;
    case LinkState::ReceiveDiscard:
        return std::min(charDeadline_, discardLimit_);
    }
    return std::nullopt;
}

std::size_t LinkEngine::readLimit() const {
    if (state_ == LinkState::SendAwaitConnect || state_ == LinkState::SendAwaitAck)
        return 1;
    return static_cast<std::size_t>(-1);
}

void LinkEngine::abort(std::int32_t status) {
    switch (state_) {
    case LinkState::Idle:
        return;
    case LinkState::SendPause:
    case LinkState::SendAwaitConnect:
    case LinkState::SendAwaitAck:
        finishSend(LinkOutcome::SendFailed, status);
        return;
    default:
        finishReceive(status);
        return;
    }
}

std::optional<LinkResult> LinkEngine::takeResult() {
    std::optional<LinkResult> r = std::move(result_);
    result_.reset();
    return r;
}

void LinkEngine::sendStx(Millis now) {
    emit(kStx);
    ++connectTries_;
    ackDeadline_ = now + timing_.ackDelayMs;
    state_ = LinkState::SendAwaitConnect;
}

void LinkEngine::connectRefused(Millis now, bool timedOut) {
    if (connectTries_ >= std::max(timing_.connectAttempts, 1)) {
        finishSend(LinkOutcome::SendFailed, LINK3964_NO_CONNECTION);
        return;
    }
    if (timedOut) {
        sendStx(now);
        return;
    }
    // The partner is not ready (NAK) or the line carries noise: give it a character
    // delay time before asking again.
    pauseUntil_ = now + timing_.charDelayMs;
    state_ = LinkState::SendPause;
}

void LinkEngine::blockRefused(Millis now, bool timedOut) {
    (void)timedOut;
    if (blockTries_ >= std::max(timing_.blockAttempts, 1)) {
        finishSend(LinkOutcome::SendFailed, LINK3964_NOT_ACKNOWLEDGED);
        return;
    }
    // A repeat starts again with the connection.
    connectTries_ = 0;
    sendStx(now);
}

void LinkEngine::yieldToPartner(Millis now) {
    result_ = LinkResult{LinkOutcome::Yielded, LINK3964_PARTNER_SENDS};
    capacity_ = kMaxTelegram; // until the receive that follows says otherwise
    accept_ = nullptr;
    yielded_ = true;
    acceptConnection(now);
}

void LinkEngine::acceptConnection(Millis now) {
    emit(kDle);
    blockRx_.reset(useBcc_);
    charDeadline_ = now + timing_.charDelayMs;
    state_ = LinkState::ReceiveBlock;
    discardRestOfChunk_ = true;
}

void LinkEngine::finishSend(LinkOutcome outcome, std::int32_t status) {
    result_ = LinkResult{outcome, status};
    state_ = LinkState::Idle;
}

void LinkEngine::finishReceive(std::int32_t status) {
    result_ = LinkResult{LinkOutcome::ReceiveFailed, status};
    if (yielded_)
        lastYieldFailed_ = true;
    state_ = LinkState::Idle;
}

} // namespace link3964
