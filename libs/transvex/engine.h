// What every protocol engine offers its driver, and what it is given.
//
// An engine is a state machine without I/O of its own: the driver feeds it the bytes
// the line delivered, with the time, calls tick() when nothing arrived (timers, and a
// sender's next piece of data), and writes what the engine hands to its output. Time
// is milliseconds on any monotonic clock the driver chooses.
#pragma once

#include "transvex/transvex.h"

#include <cstdint>
#include <functional>
#include <span>

namespace transvex {

struct EngineIo {
    // Bytes for the line, in order. Called only from inside the engine's calls.
    std::function<void(std::span<const uint8_t>)> write;
    // Drops output not yet on the line (a ZMODEM sender restarting elsewhere); may be empty.
    std::function<void()> purgeOutput;
    // The caller's file-info procedure: (action, data, record) -> result.
    std::function<int32_t(int32_t, int32_t, XferFileInfo*)> report;
};

class Engine {
public:
    virtual ~Engine() = default;

    virtual void start(uint64_t nowMs) = 0;
    virtual void feed(std::span<const uint8_t> bytes, uint64_t nowMs) = 0;
    virtual void tick(uint64_t nowMs) = 0;
    // The local side stops: the peer gets the cancel sequence; status XFER_STATUS_ABORTED.
    virtual void abort(uint64_t nowMs) = 0;
    // The line is gone; the engine ends with XFER_STATUS_LINE_LOST unless already done.
    virtual void lineLost() = 0;

    // True while the engine could write more without waiting for input (a sender
    // whose window is open): the driver then polls the line without waiting.
    virtual bool ready() const { return false; }
    // When tick() is due next (absolute, same clock as nowMs); UINT64_MAX once finished.
    virtual uint64_t deadline() const = 0;
    virtual bool finished() const = 0;
    // XFER_STATUS_* once finished.
    virtual int32_t status() const = 0;
    // True when every file of the call was transferred.
    virtual bool succeeded() const { return finished() && status() == XFER_STATUS_OK; }
    virtual const char* stateName() const = 0;
};

// The cancel sequence of the XMODEM and ZMODEM families: eight CAN, then ten
// backspaces to wipe the CANs from a terminal that shows them.
std::span<const uint8_t> cancelSequence();

} // namespace transvex
