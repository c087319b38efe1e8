#pragma once

// Two link engines joined by an in-memory line with a simulated clock. Each side
// behaves like the control's worker: it receives when bytes wait for it, and
// otherwise sends the next telegram of its queue; a yielded send is followed by a
// receive and the telegram stays queued.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "libs/link3964/link_engine.h"

namespace link3964::testing {

struct Side {
    explicit Side(std::deque<std::uint8_t>& wireOut, std::vector<std::uint8_t>& sentLog)
        : engine([&wireOut, &sentLog](std::span<const std::uint8_t> b) {
              wireOut.insert(wireOut.end(), b.begin(), b.end());
              sentLog.insert(sentLog.end(), b.begin(), b.end());
          }) {}

    LinkEngine engine;
    bool highPriority = false;
    bool useBcc = true;
    std::size_t capacity = 65535;
    std::deque<std::vector<std::uint8_t>> queue;
    std::vector<std::vector<std::uint8_t>> received;
    std::vector<bool> receivedFlags;
    std::vector<LinkResult> results; // every result but Received and Sent
    bool growOnTooSmall = false;     // like the control: double the buffer after -9002
    int sent = 0;
    bool sending = false;
    std::function<Millis()> pause = [] { return 0; };
};

class EnginePair {
public:
    EnginePair() : a(toB_, sentByA), b(toA_, sentByB) {}

    // Changes a byte from A to B on its way (index counts every byte A sent); return
    // false to drop it.
    std::function<bool(std::size_t index, std::uint8_t& byte)> filterAtoB;
    std::function<bool(std::size_t index, std::uint8_t& byte)> filterBtoA;
    // Holds the line from A to B while it returns true (bytes wait, time passes).
    std::function<bool(Millis now)> holdAtoB;

    Millis now = 0;
    std::vector<std::uint8_t> sentByA, sentByB;
    Side a, b;

    void setTiming(const LinkTiming& t) {
        a.engine.setTiming(t);
        b.engine.setTiming(t);
    }

    // Runs until both queues are empty and both engines are idle, or until limitMs.
    void run(Millis limitMs) {
        while (now < limitMs) {
            bool moved = deliver(toA_, a, filterBtoA, countBtoA_, nullptr);
            moved |= deliver(toB_, b, filterAtoB, countAtoB_, holdAtoB);
            a.engine.onTime(now);
            b.engine.onTime(now);
            collect(a);
            collect(b);
            moved |= drive(a, toA_);
            moved |= drive(b, toB_);
            if (moved || deliverable(toA_, a, nullptr) || deliverable(toB_, b, holdAtoB))
                continue;
            if (idle(a) && idle(b) && toA_.empty() && toB_.empty())
                return;
            std::optional<Millis> next;
            for (Side* s : {&a, &b}) {
                if (auto d = s->engine.deadline())
                    next = next ? std::min(*next, *d) : *d;
            }
            Millis step = next ? std::max(*next, now + 1) : now + 1;
            if (!toB_.empty() && holdAtoB)
                step = std::min(step, now + 1);
            now = std::min(step, limitMs);
        }
    }

private:
    bool deliverable(const std::deque<std::uint8_t>& wire, const Side& to,
                     const std::function<bool(Millis)>& hold) const {
        return !wire.empty() && !(hold && hold(now)) && to.engine.state() != LinkState::Idle;
    }

    static bool idle(const Side& s) {
        return s.queue.empty() && s.engine.state() == LinkState::Idle;
    }

    bool deliver(std::deque<std::uint8_t>& wire, Side& to,
                 const std::function<bool(std::size_t, std::uint8_t&)>& filter,
                 std::size_t& counter, const std::function<bool(Millis)>& hold) {
        if (wire.empty() || (hold && hold(now)))
            return false;
        // Bytes that arrive while the side is idle wait for it, as in a port queue.
        if (to.engine.state() == LinkState::Idle)
            return false;
        std::vector<std::uint8_t> chunk;
        std::size_t limit = to.engine.readLimit();
        while (!wire.empty() && chunk.size() < limit) {
            std::uint8_t byte = wire.front();
            wire.pop_front();
            if (!filter || filter(counter++, byte))
                chunk.push_back(byte);
        }
        if (filter == nullptr)
            counter += chunk.size();
        std::size_t used = to.engine.onBytes(chunk, now);
        wire.insert(wire.begin(), chunk.begin() + used, chunk.end());
        collect(to);
        return used > 0 || chunk.empty();
    }

    void collect(Side& s) {
        while (auto r = s.engine.takeResult()) {
            if (r->outcome == LinkOutcome::Received) {
                s.received.push_back(r->telegram);
                s.receivedFlags.push_back(r->moreFollows);
                continue;
            }
            if (r->outcome == LinkOutcome::Sent) {
                s.queue.pop_front();
                ++s.sent;
                continue;
            }
            if (r->status == -9002 && s.growOnTooSmall)
                s.capacity *= 2;
            if (r->outcome == LinkOutcome::Yielded) {
                s.engine.startReceive(s.capacity, s.useBcc, now, 0);
            } else if (r->outcome == LinkOutcome::SendFailed) {
                s.queue.pop_front();
            }
            s.results.push_back(*r);
        }
    }

    bool drive(Side& s, std::deque<std::uint8_t>& incoming) {
        if (s.engine.state() != LinkState::Idle)
            return false;
        if (!incoming.empty()) {
            s.engine.startReceive(s.capacity, s.useBcc, now, 2000);
            return true;
        }
        if (!s.queue.empty()) {
            s.engine.startSend(s.queue.front(), false, s.useBcc, s.highPriority, now,
                               s.engine.lastYieldFailed() ? s.pause() : 0);
            return true;
        }
        return false;
    }

    std::deque<std::uint8_t> toA_, toB_;
    std::size_t countAtoB_ = 0, countBtoA_ = 0;
};

} // namespace link3964::testing
