#include "platform/component/hosted_control.h"

#include <algorithm>

#include "platform/component/binary_property_stream.h"
#include "platform/component/component_host.h"
#include "platform/component/text_property_bag.h"

namespace vort::component {

HostedControl::HostedControl(Ref<Unknown> object, ContainerSite* site) {
    control_ = object.query<Control>();
    dispatch_ = object.query<Dispatch>();
    events_ = object.query<ConnectionPoint>();
    if (!control_ || !dispatch_)
        throw HostError(kNoInterface, "the object is not a control (it lacks the " +
                                          std::string(control_ ? "Dispatch" : "Control") +
                                          " interface)");
    proxy_ = DispatchProxy(dispatch_);
    control_->setSite(site);
}

HostedControl::HostedControl(HostedControl&& other) noexcept
    : control_(std::move(other.control_)), dispatch_(std::move(other.dispatch_)),
      events_(std::move(other.events_)), proxy_(std::move(other.proxy_)),
      cookies_(std::move(other.cookies_)) {}

HostedControl& HostedControl::operator=(HostedControl&& other) noexcept {
    if (this != &other) {
        reset();
        control_ = std::move(other.control_);
        dispatch_ = std::move(other.dispatch_);
        events_ = std::move(other.events_);
        proxy_ = std::move(other.proxy_);
        cookies_ = std::move(other.cookies_);
    }
    return *this;
}

HostedControl::~HostedControl() {
    reset();
}

void HostedControl::reset() {
    if (events_)
        for (uint32_t cookie : cookies_)
            events_->unadvise(cookie);
    cookies_.clear();
    if (control_)
        control_->setSite(nullptr);
    proxy_ = DispatchProxy();
    events_.reset();
    dispatch_.reset();
    control_.reset();
}

const InterfaceInfo* HostedControl::eventInfo() const {
    return events_ ? events_->eventInfo() : nullptr;
}

void HostedControl::initNew() {
    int32_t code = control_->initNew();
    if (code != kOk)
        throw HostError(code, "the control cannot take its defaults: " + describeResult(code));
}

LoadResult HostedControl::loadText(std::string_view bag) {
    TextPropertyBagReader reader(bag);
    int32_t code = control_->load(reader);
    return {code, code == kOk       ? std::string()
                  : reader.failed() ? reader.error()
                                    : describeResult(code)};
}

LoadResult HostedControl::loadStream(std::span<const uint8_t> stream) {
    BinaryPropertyStreamReader reader(stream);
    int32_t code = control_->load(reader);
    return {code, code == kOk       ? std::string()
                  : reader.failed() ? reader.error()
                                    : describeResult(code)};
}

std::string HostedControl::saveText(bool clearModified) {
    TextPropertyBagWriter writer;
    int32_t code = control_->save(writer, clearModified);
    if (code != kOk)
        throw HostError(code, "the control cannot save its properties: " +
                                  (writer.failed() ? writer.error() : describeResult(code)));
    return writer.text();
}

std::vector<uint8_t> HostedControl::saveStream(bool clearModified) {
    BinaryPropertyStreamWriter writer;
    int32_t code = control_->save(writer, clearModified);
    if (code != kOk)
        throw HostError(code, "the control cannot save its properties: " +
                                  (writer.failed() ? writer.error() : describeResult(code)));
    return writer.bytes();
}

uint32_t HostedControl::advise(EventSink& sink) {
    if (!events_)
        throw HostError(kNoInterface, "the control has no events");
    uint32_t cookie = 0;
    int32_t code = events_->advise(&sink, &cookie);
    if (code != kOk)
        throw HostError(code, "advise failed: " + describeResult(code));
    cookies_.push_back(cookie);
    return cookie;
}

void HostedControl::unadvise(uint32_t cookie) {
    auto it = std::find(cookies_.begin(), cookies_.end(), cookie);
    if (it == cookies_.end())
        return;
    cookies_.erase(it);
    if (events_)
        events_->unadvise(cookie);
}

} // namespace vort::component
