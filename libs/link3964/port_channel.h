#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <span>
#include <vector>

#include "libs/link3964/link_engine.h"

namespace link3964 {

struct ReceivedTelegram {
    std::int32_t status = 0;
    std::size_t length = 0; // the telegram's length; on "buffer too small" the size needed
    bool moreFollows = false;
};

// Runs the link engine of one comm id over the serial core library: reads the
// comm id's input queue, writes its output queue, waits on the queues (never by
// sleeping) and passes the monotonic time in. It writes a block only when it fits the
// output queue and never fills that queue to its set size (a block longer than the
// queue goes in as room appears), so the queue-full report keeps meaning that someone
// else overfilled it. One operation at a time: a caller holds opMutex() for the whole
// operation (file transfers hold it for the whole file).
class PortChannel {
public:
    explicit PortChannel(std::int32_t commId);
    PortChannel(const PortChannel&) = delete;
    PortChannel& operator=(const PortChannel&) = delete;

    std::int32_t commId() const { return commId_; }
    std::mutex& opMutex() { return opMutex_; }

    // Settings may change at any time; an operation uses those in force when it starts.
    void setDelays(Millis tqMs, Millis tzMs);
    void setAttempts(int mz1, int mz2);
    LinkTiming timing() const;

    // Sends one telegram; returns LINK3964_OK or a failure status.
    std::int32_t sendTelegram(std::span<const std::uint8_t> telegram, bool moreFollows, bool useBcc,
                              bool highPriority);
    // Receives one telegram into buffer (its size is the capacity).
    ReceivedTelegram receiveTelegram(std::span<std::uint8_t> buffer, Millis waitMs, bool useBcc,
                                     LinkEngine::Acceptor accept = {});

    bool portUsable() const;

private:
    LinkResult drive();
    void emitBytes(std::span<const std::uint8_t> bytes);
    void afterEngineCall();
    bool waitForPartnerBytes();
    Millis lineAllowance(std::size_t bytes) const;

    const std::int32_t commId_;
    std::mutex opMutex_;
    mutable std::mutex settingsMutex_;
    LinkTiming timing_;
    LinkEngine engine_;
    std::minstd_rand rng_;
    std::vector<std::uint8_t> readBuffer_;
    std::size_t emittedSinceDrain_ = 0;
    bool outputFailed_ = false;
};

// The channel of a comm id (0..254), created on first use and kept for the life of the
// library; nullptr for any other id.
PortChannel* channelFor(std::int32_t commId);

// Milliseconds on the monotonic clock.
Millis monotonicMillis();

} // namespace link3964
