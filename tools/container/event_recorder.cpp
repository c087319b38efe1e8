#include "tools/container/event_recorder.h"

#include "platform/component/text.h"
#include "tools/container/value_notation.h"

namespace vort::container {

using component::Variant;

void EventRecorder::attach(const component::InterfaceInfo* events, component::Dispatch* control) {
    events_ = events;
    control_ = control;
    queue_.clear();
}

void EventRecorder::onEvent(int32_t dispid, std::span<const Variant> args) {
    const component::MemberInfo* info = events_ ? events_->find(dispid) : nullptr;
    Entry e;
    e.name = info ? info->name : "Event" + std::to_string(dispid);
    e.line = e.name;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string param =
            info && i < info->params.size() ? info->params[i].name : "Arg" + std::to_string(i + 1);
        e.line += " " + param + "=" + formatValue(args[i]);
    }
    int32_t commEvent = 0;
    if (args.empty() && control_ &&
        control_->getIdsOfNames("CommEvent", &commEvent) == component::kOk) {
        Variant code;
        const component::InvokeResult r =
            control_->invoke(commEvent, component::InvokeKind::PropertyGet, {}, &code);
        e.line += " CommEvent=" + (r.ok() ? formatValue(code) : "!" + std::to_string(r.number));
    }
    if (printer)
        printer(e.line);
    if (queue_.size() >= kMaxQueued)
        queue_.pop_front();
    queue_.push_back(std::move(e));
    if (arrived)
        arrived();
}

std::optional<std::string> EventRecorder::take(std::string_view name) {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (component::equalsIgnoreCase(it->name, name)) {
            std::string line = std::move(it->line);
            queue_.erase(it);
            return line;
        }
    }
    return std::nullopt;
}

bool EventRecorder::knows(std::string_view name, std::string* exact) const {
    if (!events_)
        return false;
    const component::MemberInfo* m = events_->find(name);
    if (m && exact)
        *exact = m->name;
    return m != nullptr;
}

std::string EventRecorder::eventNames() const {
    std::string names;
    if (events_)
        for (const auto& m : events_->members)
            names += (names.empty() ? "" : ", ") + m.name;
    return names.empty() ? "none" : names;
}

} // namespace vort::container
