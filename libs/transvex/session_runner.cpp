#include "libs/transvex/session_runner.h"

#include <algorithm>
#include <array>
#include <time.h>

namespace transvex {

uint64_t monotonicMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

EngineIo channelIo(Channel& channel,
                   std::function<int32_t(int32_t, int32_t, XferFileInfo*)> report) {
    EngineIo io;
    io.write = [&channel](std::span<const uint8_t> bytes) { channel.write(bytes); };
    io.purgeOutput = [&channel] { channel.purgeOutput(); };
    io.report = std::move(report);
    return io;
}

namespace {

// After an abort the peer may still be sending; reading its bytes until it falls
// quiet leaves nothing stale for whoever uses the line next.
void drainInput(Channel& channel, const RunLimits& limits) {
    std::array<uint8_t, 4096> buf{};
    const uint64_t end = monotonicMs() + static_cast<uint64_t>(limits.abortDrainMaxMs);
    while (monotonicMs() < end) {
        const ssize_t n = channel.read(buf.data(), buf.size(), limits.abortQuietMs);
        if (n <= 0) {
            break;
        }
    }
}

} // namespace

int32_t runSession(Engine& engine, Channel& channel, const RunLimits& limits,
                   std::span<const uint8_t> firstInput) {
    std::array<uint8_t, 65536> buf{};
    uint64_t now = monotonicMs();
    engine.start(now);
    if (!firstInput.empty() && !engine.finished()) {
        engine.feed(firstInput, now);
    }
    bool aborted = false;
    while (!engine.finished()) {
        if (channel.abortRequested()) {
            channel.purgeOutput();
            engine.abort(monotonicMs());
            channel.abortHandled();
            aborted = true;
            break;
        }
        if (channel.lost()) {
            engine.lineLost();
            break;
        }
        now = monotonicMs();
        int wait = 0;
        if (!engine.ready()) {
            const uint64_t due = engine.deadline();
            // Short slices keep an abort request noticed within tens of milliseconds.
            wait = due <= now ? 0 : static_cast<int>(std::min<uint64_t>(due - now, 50));
        }
        const ssize_t n = channel.read(buf.data(), buf.size(), wait);
        now = monotonicMs();
        if (n < 0) {
            engine.lineLost();
            break;
        }
        if (n > 0) {
            engine.feed(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)), now);
        }
        if (!engine.finished()) {
            engine.tick(now);
        }
    }
    if (!channel.lost()) {
        if (aborted) {
            // The cancel sequence leaves, then the peer's last bytes are read away,
            // each within half of what the stop may take.
            const int half = std::max(0, channel.abortLimitMs() / 2);
            RunLimits cleanup = limits;
            cleanup.abortDrainMaxMs = std::min(limits.abortDrainMaxMs, half);
            cleanup.abortQuietMs = std::min(limits.abortQuietMs, half);
            channel.drain(cleanup.abortDrainMaxMs);
            drainInput(channel, cleanup);
        } else {
            channel.drain(limits.drainMs);
        }
    }
    return engine.status();
}

} // namespace transvex
