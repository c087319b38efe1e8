// EventConnections: the sinks advised to one event interface, and firing to them.
//
// fire() calls every connected sink in the order they were advised. A sink may
// unadvise itself or another sink from inside its handler (that sink is not called
// again in this round) and may advise a new one (called from the next event on).
// While the freeze count is above 0, events are dropped, not queued.
// Single-threaded (the owner's thread).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/component/dispatch.h"

namespace vort::component {

class EventConnections {
public:
    // kOk with a nonzero *cookie; kPointer for a null sink or cookie.
    int32_t advise(EventSink* sink, uint32_t* cookie);
    // kOk; kInvalidArg when cookie is not connected.
    int32_t unadvise(uint32_t cookie);

    // true adds one to the freeze count, false takes one off (never below 0).
    void freeze(bool freeze);
    bool frozen() const { return freezeCount_ > 0; }

    // Calls each connected sink; returns how many were called (0 while frozen).
    size_t fire(int32_t dispid, std::span<const Variant> args);

    size_t size() const { return connections_.size(); }

private:
    struct Connection {
        uint32_t cookie;
        EventSink* sink;
    };
    EventSink* sinkOf(uint32_t cookie) const;

    std::vector<Connection> connections_;
    uint32_t lastCookie_ = 0;
    int32_t freezeCount_ = 0;
};

} // namespace vort::component
