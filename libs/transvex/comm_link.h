// The channel over a comm id of the serial core library: reads wait on the input
// queue, writes wait for room in the output queue, the end waits until the output
// queue and the device's own buffer have emptied.
#pragma once

#include "libs/transvex/channel.h"

#include <atomic>
#include <cstdint>

namespace transvex {

class CommLink final : public Channel {
public:
    explicit CommLink(int32_t commId) : commId_(commId) {}

    ssize_t read(uint8_t* buf, size_t len, int timeoutMs) override;
    bool write(std::span<const uint8_t> bytes) override;
    void purgeOutput() override;
    bool drain(int timeoutMs) override;
    bool lost() const override;
    void requestAbort(int limitMs) override {
        limitMs_.store(limitMs);
        abort_.store(true);
    }
    bool abortRequested() const override { return abort_.load(); }
    int abortLimitMs() const override { return limitMs_.load(); }
    void abortHandled() override { abort_.store(false); }
    // Only the bytes queued when called: those that arrive meanwhile stay.
    std::vector<uint8_t> takeWaitingInput() override;

    // Output that stops moving for this long fails the write (flow control held
    // forever, a device that takes nothing).
    void setStallMs(int ms) { stallMs_ = ms; }

private:
    int32_t commId_;
    std::atomic<bool> abort_{false};
    std::atomic<int> limitMs_{0};
    mutable bool lost_ = false;
    int stallMs_ = 30000;
};

} // namespace transvex
