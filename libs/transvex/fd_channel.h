// A channel over a file descriptor (a pseudo-terminal side, a pipe or a socket), for
// the tests, the benchmarks and tools that run the engines without the serial core.
// The descriptor stays the caller's; it is switched to non-blocking mode.
#pragma once

#include "libs/transvex/channel.h"

#include <atomic>

namespace transvex {

class FdChannel final : public Channel {
public:
    // writeFd may differ from readFd (a pair of pipes); -1 means the same descriptor.
    explicit FdChannel(int readFd, int writeFd = -1);
    ~FdChannel() override;
    FdChannel(const FdChannel&) = delete;
    FdChannel& operator=(const FdChannel&) = delete;

    ssize_t read(uint8_t* buf, size_t len, int timeoutMs) override;
    bool write(std::span<const uint8_t> bytes) override;
    void purgeOutput() override;
    bool drain(int timeoutMs) override;
    bool lost() const override { return lost_; }
    void requestAbort(int limitMs) override;
    bool abortRequested() const override { return abort_.load(); }
    int abortLimitMs() const override { return limitMs_.load(); }
    void abortHandled() override;

    // Output that stops moving for this long fails the write.
    void setStallMs(int ms) { stallMs_ = ms; }

private:
    int readFd_;
    int writeFd_;
    int wakeFd_;
    std::atomic<bool> abort_{false};
    std::atomic<int> limitMs_{0};
    bool lost_ = false;
    int stallMs_ = 30000;
};

} // namespace transvex
