#include "libs/link3964/port_channel.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>

#include "libs/link3964/control_chars.h"
#include "link3964/link3964.h"
#include "serilon/serilon.h"

namespace link3964 {

namespace {

// Longest single wait on a queue, so that a closed or hung-up port is noticed even if
// the serial core did not wake us.
constexpr Millis kMaxWaitSliceMs = 100;
// What the output may take beyond its time on the wire before the port counts as stuck.
constexpr Millis kOutputStallMs = 5000;

} // namespace

Millis monotonicMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

PortChannel* channelFor(std::int32_t commId) {
    static std::mutex tableMutex;
    static std::array<std::unique_ptr<PortChannel>, SERIAL_COMM_IDS> table;
    if (commId < 0 || commId > SERIAL_MAX_COMM_ID)
        return nullptr;
    std::lock_guard lock(tableMutex);
    auto& slot = table[static_cast<std::size_t>(commId)];
    if (!slot)
        slot = std::make_unique<PortChannel>(commId);
    return slot.get();
}

PortChannel::PortChannel(std::int32_t commId)
    : commId_(commId), engine_([this](std::span<const std::uint8_t> b) { emitBytes(b); }),
      rng_(std::random_device{}()), readBuffer_(16384) {}

void PortChannel::setDelays(Millis tqMs, Millis tzMs) {
    std::lock_guard lock(settingsMutex_);
    timing_.ackDelayMs = tqMs;
    timing_.charDelayMs = tzMs;
}

void PortChannel::setAttempts(int mz1, int mz2) {
    std::lock_guard lock(settingsMutex_);
    timing_.connectAttempts = mz1;
    timing_.blockAttempts = mz2;
}

LinkTiming PortChannel::timing() const {
    std::lock_guard lock(settingsMutex_);
    return timing_;
}

bool PortChannel::portUsable() const {
    return SerialInUse(commId_) != 0 && SerialOpenStatus(commId_) == SERIAL_OK;
}

std::int32_t PortChannel::sendTelegram(std::span<const std::uint8_t> telegram, bool moreFollows,
                                       bool useBcc, bool highPriority) {
    if (!portUsable())
        return LINK3964_PORT_ERROR;
    LinkTiming t = timing();
    engine_.setTiming(t);
    // A partner telegram we agreed to take in an earlier call is still on its way:
    // the caller must receive it first.
    if (engine_.receiveUnderWay() && waitForPartnerBytes())
        return LINK3964_PARTNER_SENDS;

    int failedYields = 0;
    for (;;) {
        Millis pause = 0;
        if (engine_.lastYieldFailed()) {
            // Both sides may have yielded to each other: a random pause breaks the tie.
            std::uniform_int_distribution<Millis> dist(0, 2 * t.charDelayMs);
            pause = dist(rng_);
        }
        engine_.startSend(telegram, moreFollows, useBcc, highPriority, monotonicMillis(), pause);
        LinkResult r = drive();
        if (r.outcome != LinkOutcome::Yielded)
            return r.status;
        if (waitForPartnerBytes())
            return LINK3964_PARTNER_SENDS;
        // The partner's STX led nowhere (a collision of two low-priority sides, or
        // noise): send our own telegram after all, a bounded number of times.
        if (++failedYields >= std::max(t.connectAttempts, 1))
            return LINK3964_NO_CONNECTION;
    }
}

bool PortChannel::waitForPartnerBytes() {
    // Returns true once a byte of the partner's block waits in the input queue, so the
    // caller's receive finds it; false when the engine gave the receive up (NAK sent).
    while (engine_.receiveUnderWay()) {
        if (!portUsable()) {
            engine_.abort(LINK3964_PORT_ERROR);
            break;
        }
        if (SerialQueueCount(commId_, SERIAL_DIR_INPUT) > 0)
            return true;
        Millis now = monotonicMillis();
        engine_.onTime(now);
        afterEngineCall();
        if (!engine_.receiveUnderWay())
            break;
        Millis wait =
            std::clamp<Millis>(engine_.deadline().value_or(now) - now, 1, kMaxWaitSliceMs);
        SerialWaitQueue(commId_, SERIAL_DIR_INPUT, 0, static_cast<std::int32_t>(wait));
    }
    engine_.takeResult(); // the abandoned receive
    return false;
}

ReceivedTelegram PortChannel::receiveTelegram(std::span<std::uint8_t> buffer, Millis waitMs,
                                              bool useBcc, LinkEngine::Acceptor accept) {
    ReceivedTelegram out;
    if (!portUsable()) {
        out.status = LINK3964_PORT_ERROR;
        return out;
    }
    engine_.setTiming(timing());
    engine_.startReceive(buffer.size(), useBcc, monotonicMillis(), waitMs, std::move(accept));
    LinkResult r = drive();
    out.status = r.status;
    if (r.outcome == LinkOutcome::Received) {
        std::copy(r.telegram.begin(), r.telegram.end(), buffer.begin());
        out.length = r.telegram.size();
        out.moreFollows = r.moreFollows;
    } else if (r.status == LINK3964_BUFFER_TOO_SMALL) {
        out.length = r.neededLength;
    }
    return out;
}

LinkResult PortChannel::drive() {
    outputFailed_ = false;
    for (;;) {
        if (auto r = engine_.takeResult())
            return std::move(*r);
        if (engine_.state() == LinkState::Idle) // no operation started: nothing to wait for
            return LinkResult{LinkOutcome::SendFailed, LINK3964_PORT_ERROR};
        if (outputFailed_ || !portUsable()) {
            engine_.abort(LINK3964_PORT_ERROR);
            continue;
        }
        Millis now = monotonicMillis();
        std::int32_t waiting = SerialQueueCount(commId_, SERIAL_DIR_INPUT);
        if (waiting > 0) {
            std::size_t want = std::min<std::size_t>(
                {static_cast<std::size_t>(waiting), engine_.readLimit(), readBuffer_.size()});
            std::uint16_t got = 0;
            SerialRead(commId_, readBuffer_.data(), static_cast<std::uint16_t>(want), &got);
            // Bytes after the end of the operation arrived before our answer to the
            // partner's block, so the partner did not send them for what follows: they
            // are dropped (the engine reads one byte at a time where that could differ).
            engine_.onBytes(std::span(readBuffer_.data(), got), now);
            afterEngineCall();
            if (got > 0)
                continue;
        }
        engine_.onTime(now);
        afterEngineCall();
        if (engine_.state() == LinkState::Idle)
            continue;
        Millis wait = kMaxWaitSliceMs;
        if (auto d = engine_.deadline())
            wait = std::clamp<Millis>(*d - monotonicMillis(), 0, kMaxWaitSliceMs);
        if (wait > 0)
            SerialWaitQueue(commId_, SERIAL_DIR_INPUT, 0, static_cast<std::int32_t>(wait));
    }
}

void PortChannel::emitBytes(std::span<const std::uint8_t> bytes) {
    if (outputFailed_)
        return;
    // The output queue is never filled to its set size: the serial core reports a full
    // queue, and the control turns that into its transmit-queue-full event, which tells
    // a host that it overfilled the queue, not that a telegram is on its way. So a
    // block goes in whole once the queue has room for it; a block longer than the
    // queue is fed in as room appears. The port counts as stuck only when the queue
    // stops moving.
    auto stallLimit = [this] {
        std::size_t size = static_cast<std::size_t>(
            std::max<std::int32_t>(SerialBufferSize(commId_, SERIAL_DIR_OUTPUT), 0));
        return monotonicMillis() + lineAllowance(size) * 2 + kOutputStallMs;
    };
    Millis limit = stallLimit();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::int32_t size = SerialBufferSize(commId_, SERIAL_DIR_OUTPUT);
        const std::int32_t count = SerialQueueCount(commId_, SERIAL_DIR_OUTPUT);
        const std::size_t capacity = static_cast<std::size_t>(std::max<std::int32_t>(size - 1, 1));
        const std::size_t queued = static_cast<std::size_t>(std::max<std::int32_t>(count, 0));
        const std::size_t room = capacity > queued ? capacity - queued : 0;
        const std::size_t remaining = bytes.size() - done;
        const std::size_t piece =
            remaining <= capacity ? (room >= remaining ? remaining : 0) : room;
        if (piece > 0) {
            std::uint16_t chunk = static_cast<std::uint16_t>(std::min<std::size_t>(piece, 65535));
            std::uint16_t taken = 0;
            if (SerialWrite(commId_, bytes.data() + done, chunk, &taken) != SERIAL_OK) {
                outputFailed_ = true;
                return;
            }
            done += taken;
            if (taken == chunk)
                continue;
        }
        // Wait for the device to take some.
        if (monotonicMillis() > limit || !portUsable()) {
            outputFailed_ = true;
            return;
        }
        if (SerialWaitQueue(commId_, SERIAL_DIR_OUTPUT, count,
                            static_cast<std::int32_t>(kMaxWaitSliceMs)) < count)
            limit = stallLimit();
    }
    emittedSinceDrain_ += bytes.size();
}

void PortChannel::afterEngineCall() {
    if (emittedSinceDrain_ == 0)
        return;
    std::size_t emitted = emittedSinceDrain_;
    emittedSinceDrain_ = 0;
    LinkState s = engine_.state();
    if (s != LinkState::SendAwaitConnect && s != LinkState::SendAwaitAck)
        return; // no timer depends on when these bytes leave
    // The acknowledgement delay time runs from the moment our bytes have left: wait
    // until the output queue is empty, then allow for what the device itself may
    // still hold at the line's speed.
    Millis allowance = lineAllowance(emitted);
    Millis limit = monotonicMillis() + allowance * 2 + kOutputStallMs;
    for (;;) {
        std::int32_t count = SerialQueueCount(commId_, SERIAL_DIR_OUTPUT);
        if (count == 0)
            break;
        if (monotonicMillis() > limit || !portUsable()) {
            outputFailed_ = true;
            return;
        }
        SerialWaitQueue(commId_, SERIAL_DIR_OUTPUT, count,
                        static_cast<std::int32_t>(kMaxWaitSliceMs));
    }
    engine_.onOutputDrained(monotonicMillis() + allowance);
}

Millis PortChannel::lineAllowance(std::size_t bytes) const {
    SerialConfigRecord config{};
    if (SerialReadConfig(commId_, &config) != SERIAL_OK || config.baud == 0)
        return 0;
    // A device buffers up to a few KiB beyond our queue; 10 bit times per byte.
    std::size_t held = std::min<std::size_t>(bytes, 4096);
    return static_cast<Millis>(held * 10 * 1000 / config.baud);
}

} // namespace link3964
