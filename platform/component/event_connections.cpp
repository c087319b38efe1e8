#include "platform/component/event_connections.h"

#include <algorithm>

namespace vort::component {

int32_t EventConnections::advise(EventSink* sink, uint32_t* cookie) {
    if (!sink || !cookie)
        return kPointer;
    // Cookies are never 0 and never one still in use, even after wrapping around.
    do {
        ++lastCookie_;
    } while (lastCookie_ == 0 || sinkOf(lastCookie_));
    connections_.push_back({lastCookie_, sink});
    *cookie = lastCookie_;
    return kOk;
}

int32_t EventConnections::unadvise(uint32_t cookie) {
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [&](const Connection& c) { return c.cookie == cookie; });
    if (it == connections_.end())
        return kInvalidArg;
    connections_.erase(it);
    return kOk;
}

void EventConnections::freeze(bool freeze) {
    if (freeze)
        ++freezeCount_;
    else if (freezeCount_ > 0)
        --freezeCount_;
}

EventSink* EventConnections::sinkOf(uint32_t cookie) const {
    for (const Connection& c : connections_)
        if (c.cookie == cookie)
            return c.sink;
    return nullptr;
}

size_t EventConnections::fire(int32_t dispid, std::span<const Variant> args) {
    if (frozen())
        return 0;
    // Handlers may change the connections; walk a snapshot of the cookies and look
    // each one up again just before calling it.
    std::vector<uint32_t> cookies;
    cookies.reserve(connections_.size());
    for (const Connection& c : connections_)
        cookies.push_back(c.cookie);
    size_t called = 0;
    for (uint32_t cookie : cookies) {
        if (EventSink* sink = sinkOf(cookie)) {
            sink->onEvent(dispid, args);
            ++called;
        }
    }
    return called;
}

} // namespace vort::component
