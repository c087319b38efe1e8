// Input: byte 0 chooses the capacity and 3964/3964R, byte 1 the wait; then pieces of
// [length byte, time step byte, bytes...] fed to a receiving engine. Every received
// telegram is also read as a file record. Checks: the engine answers only DLE or NAK,
// never delivers more than the capacity, always ends an operation in bounded time.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "libs/link3964/control_chars.h"
#include "libs/link3964/file_records.h"
#include "libs/link3964/link_engine.h"

using namespace link3964;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    std::vector<std::uint8_t> answers;
    LinkEngine engine([&](std::span<const std::uint8_t> b) {
        answers.insert(answers.end(), b.begin(), b.end());
    });
    engine.setTiming(LinkTiming{2000, 220, 6, 6});
    const std::size_t capacity = static_cast<std::size_t>(data[0] >> 1) * 64;
    const bool useBcc = data[0] & 1;
    const Millis wait = data[1] * 20;
    Millis now = 0;
    engine.startReceive(capacity, useBcc, now, wait);

    std::size_t at = 2;
    while (at < size) {
        std::size_t len = data[at++];
        Millis step = at < size ? data[at++] * 3 : 0;
        len = std::min(len, size - at);
        now += step;
        engine.onTime(now);
        std::size_t used = engine.onBytes(std::span(data + at, len), now);
        if (used > len)
            std::abort();
        at += len;
        while (auto r = engine.takeResult()) {
            if (r->outcome == LinkOutcome::Received) {
                if (r->telegram.size() > capacity)
                    std::abort();
                if (auto rec = decodeFileRecord(r->telegram); rec && rec->kind == kFileRecordName)
                    (void)confineReceivedName(rec->name);
            }
        }
        if (engine.state() == LinkState::Idle)
            engine.startReceive(capacity, useBcc, now, wait);
    }
    // With no more input every operation ends by its timers.
    for (int i = 0; i < 8 && engine.state() != LinkState::Idle; ++i) {
        if (auto d = engine.deadline())
            now = std::max(now, *d);
        engine.onTime(now);
    }
    if (engine.state() != LinkState::Idle)
        std::abort();
    for (std::uint8_t b : answers) {
        if (b != kDle && b != kNak)
            std::abort();
    }
    return 0;
}
