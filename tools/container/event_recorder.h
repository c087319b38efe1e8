// EventRecorder: the container's sink for the control's events. Each event becomes one
// line, "OnModem Action=33 TimeLeft=12": the event's name and each argument by its
// parameter name in the value notation. An event without arguments whose control has
// a CommEvent property (OnComm) gets "CommEvent=N", read inside the event, as a
// host's OnComm handler reads it (the read resets the control's code to 0).
//
// The lines are kept in order until a waiter takes them (at most kMaxQueued; the
// oldest go first), and may also be handed to a printer as they come.
// Owner's thread only: events arrive there, synchronously from the control.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/component/dispatch.h"
#include "platform/component/type_info.h"

namespace vort::container {

class EventRecorder final : public component::EventSink {
public:
    static constexpr size_t kMaxQueued = 1000;

    // The event interface that names the events (may be null: events are then named
    // by DISPID) and the control, for CommEvent. Clears what was queued.
    void attach(const component::InterfaceInfo* events, component::Dispatch* control);
    void detach() { attach(nullptr, nullptr); }

    void onEvent(int32_t dispid, std::span<const component::Variant> args) override;

    // The oldest queued line of event name (ASCII case ignored), taken out of the
    // queue; nullopt when none is queued.
    std::optional<std::string> take(std::string_view name);
    // Whether the event interface has an event called name; its spelling into *exact.
    bool knows(std::string_view name, std::string* exact) const;
    // The names of the events, comma-separated, for messages.
    std::string eventNames() const;

    // Called with every line as it comes (events on); empty: nothing printed.
    std::function<void(const std::string&)> printer;
    // Called after every event (a waiter checks the queue).
    std::function<void()> arrived;

private:
    struct Entry {
        std::string name;
        std::string line;
    };
    const component::InterfaceInfo* events_ = nullptr;
    component::Dispatch* control_ = nullptr;
    std::deque<Entry> queue_;
};

} // namespace vort::container
