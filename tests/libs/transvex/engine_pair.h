// Runs two engines against each other in memory, with simulated time and an optional
// noisy wire between them, so protocol cases run fast and repeatably.
#pragma once

#include "libs/transvex/engine.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace transvex::test {

struct WireNoise {
    double flip = 0; // chance per byte that one bit flips
    double drop = 0; // chance per byte that it is lost
    uint32_t seed = 1;
};

// One direction of the wire: what one engine wrote, waiting for the other.
class Wire {
public:
    explicit Wire(WireNoise noise = {}) : noise_(noise), rng_(noise.seed) {}
    void put(std::span<const uint8_t> bytes) {
        for (uint8_t b : bytes) {
            all_.push_back(b);
            if (noise_.drop > 0 && uni_(rng_) < noise_.drop) {
                ++dropped_;
                continue;
            }
            if (noise_.flip > 0 && uni_(rng_) < noise_.flip) {
                b ^= static_cast<uint8_t>(1u << (rng_() % 8));
                ++flipped_;
            }
            queue_.push_back(b);
        }
    }
    std::vector<uint8_t> take(size_t max) {
        const size_t n = std::min(max, queue_.size());
        std::vector<uint8_t> out(queue_.begin(), queue_.begin() + static_cast<long>(n));
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
        return out;
    }
    void purge() { queue_.clear(); }
    bool empty() const { return queue_.empty(); }
    // Every byte written, before noise.
    const std::vector<uint8_t>& all() const { return all_; }
    int flipped() const { return flipped_; }
    int dropped() const { return dropped_; }
    void setNoise(WireNoise n) { noise_ = n; }

private:
    WireNoise noise_;
    std::mt19937 rng_;
    std::uniform_real_distribution<double> uni_{0.0, 1.0};
    std::deque<uint8_t> queue_;
    std::vector<uint8_t> all_;
    int flipped_ = 0;
    int dropped_ = 0;
};

using ReportFn = std::function<int32_t(int32_t, int32_t, XferFileInfo*)>;

struct Reports {
    struct Entry {
        int32_t action;
        int32_t data;
        XferFileInfo record;
    };
    std::vector<Entry> entries;
    int count(int32_t action) const {
        int n = 0;
        for (const auto& e : entries) {
            n += e.action == action;
        }
        return n;
    }
    const Entry* first(int32_t action) const {
        for (const auto& e : entries) {
            if (e.action == action) {
                return &e;
            }
        }
        return nullptr;
    }
};

// Wraps a decision function, recording every call.
inline ReportFn recording(Reports& log, ReportFn decide = {}) {
    return [&log, decide](int32_t action, int32_t data, XferFileInfo* record) {
        int32_t r = decide ? decide(action, data, record) : XFER_RESULT_GO_ON;
        log.entries.push_back({action, data, *record});
        return r;
    };
}

// a writes to ab, reads ba; b the other way round.
class EnginePair {
public:
    Wire ab;
    Wire ba;
    uint64_t now = 1000;
    size_t chunk = 4096; // bytes delivered per step: the line's grain

    EngineIo ioA(ReportFn report) {
        EngineIo io;
        io.write = [this](std::span<const uint8_t> b) { ab.put(b); };
        io.purgeOutput = [this] { ab.purge(); };
        io.report = std::move(report);
        return io;
    }
    EngineIo ioB(ReportFn report) {
        EngineIo io;
        io.write = [this](std::span<const uint8_t> b) { ba.put(b); };
        io.purgeOutput = [this] { ba.purge(); };
        io.report = std::move(report);
        return io;
    }

    // Runs until both finish, or the simulated time passes limitMs. Returns true when
    // both finished. Hook runs every step (to abort one side, for instance).
    bool run(Engine& a, Engine& b, uint64_t limitMs = 600000,
             const std::function<void(EnginePair&)>& hook = {}) {
        a.start(now);
        b.start(now);
        return runStarted(a, b, limitMs, hook);
    }
    // The same for engines already started (a receiver that goes on with the next sender).
    bool runStarted(Engine& a, Engine& b, uint64_t limitMs = 600000,
                    const std::function<void(EnginePair&)>& hook = {}) {
        const uint64_t end = now + limitMs;
        while (!(a.finished() && b.finished()) && now < end) {
            bool moved = false;
            if (!ba.empty()) {
                auto bytes = ba.take(chunk);
                a.feed(bytes, now);
                moved = true;
            }
            if (!ab.empty()) {
                auto bytes = ab.take(chunk);
                b.feed(bytes, now);
                moved = true;
            }
            if (!a.finished()) {
                a.tick(now);
            }
            if (!b.finished()) {
                b.tick(now);
            }
            if (hook) {
                hook(*this);
            }
            const bool busy = (!a.finished() && a.ready()) || (!b.finished() && b.ready());
            if (!moved && !busy && ab.empty() && ba.empty()) {
                uint64_t next = UINT64_MAX;
                if (!a.finished()) {
                    next = std::min(next, a.deadline());
                }
                if (!b.finished()) {
                    next = std::min(next, b.deadline());
                }
                if (next == UINT64_MAX) {
                    // Only one side is left and it waits for nothing: the other side
                    // is gone, as a silent line.
                    next = now + 1000;
                }
                now = std::max(now + 1, next);
            } else {
                now += 1;
            }
        }
        return a.finished() && b.finished();
    }
};

} // namespace transvex::test
