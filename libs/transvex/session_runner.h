// Runs one engine over a channel until it finishes: feeds it what the line delivers,
// ticks its timers, writes its output, stops it on an abort request, and makes sure
// its last bytes have left before returning.
#pragma once

#include "libs/transvex/channel.h"
#include "libs/transvex/engine.h"

#include <cstdint>

namespace transvex {

uint64_t monotonicMs();

struct RunLimits {
    int drainMs = 10000;    // waiting for the output to leave at the end
    int abortQuietMs = 300; // after an abort: the peer's bytes are read until this much silence
    int abortDrainMaxMs = 2000;
};

// Returns the engine's XFER_STATUS_*. firstInput is fed to the engine right after its
// start, before anything read from the line (input the caller took from the line first).
int32_t runSession(Engine& engine, Channel& channel, const RunLimits& limits = {},
                   std::span<const uint8_t> firstInput = {});

// The EngineIo that writes to and purges the channel, with the given report function.
EngineIo channelIo(Channel& channel,
                   std::function<int32_t(int32_t, int32_t, XferFileInfo*)> report);

} // namespace transvex
