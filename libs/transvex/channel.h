// The line an engine runs over: a comm id of the serial core (comm_link) or a plain
// file descriptor such as a pseudo-terminal (fd_channel). Used by one thread at a
// time, except requestAbort(), which any thread may call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <sys/types.h>
#include <vector>

namespace transvex {

class Channel {
public:
    virtual ~Channel() = default;

    // Waits at most timeoutMs (0: does not wait) for input. Returns the bytes read,
    // 0 when none came, -1 when the line is gone.
    virtual ssize_t read(uint8_t* buf, size_t len, int timeoutMs) = 0;
    // Queues all bytes, waiting for room as long as the output keeps moving. False
    // when the line is gone, the output stalled, or an abort was requested while
    // waiting for room.
    virtual bool write(std::span<const uint8_t> bytes) = 0;
    // Drops output that has not left yet.
    virtual void purgeOutput() = 0;
    // Waits until every byte written has left this side, as long as the output keeps
    // moving and at most timeoutMs in all. True when it has.
    virtual bool drain(int timeoutMs) = 0;
    // True when the line is gone (hung up, closed).
    virtual bool lost() const = 0;

    // Asks the transfer on this channel to stop within limitMs (any thread). Waits
    // in read() and write() end early while the request stands.
    virtual void requestAbort(int limitMs) = 0;
    virtual bool abortRequested() const = 0;
    virtual int abortLimitMs() const = 0;
    // The request was acted on: waits work normally again, for the cleanup.
    virtual void abortHandled() = 0;

    // Takes the input that is waiting now, without waiting for more: what came before
    // a session began.
    virtual std::vector<uint8_t> takeWaitingInput() {
        std::vector<uint8_t> taken;
        uint8_t buf[4096];
        ssize_t n = 0;
        while (taken.size() < (1u << 20) && (n = read(buf, sizeof buf, 0)) > 0) {
            taken.insert(taken.end(), buf, buf + n);
        }
        return taken;
    }
};

} // namespace transvex
