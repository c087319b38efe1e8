// HostedControl: a host's hold on one control: its Control, Dispatch and
// ConnectionPoint interfaces, its site, its persistence in both storage forms and the
// sinks the host advised.
//
// Made by ComponentHost::createControl (or from any control object). On destruction it
// unadvises the sinks it advised, sets the control's site to null and releases it.
// Move-only. Used in the owner's thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/control.h"
#include "platform/component/dispatch.h"
#include "platform/component/dispatch_proxy.h"

namespace vort::component {

// The outcome of loading a stored design: code kOk, or kInvalidData with error saying
// what was damaged (the control then holds every default).
struct LoadResult {
    int32_t code = kOk;
    std::string error;
    bool ok() const { return code == kOk; }
};

class HostedControl {
public:
    HostedControl() = default;
    // Takes over object; throws HostError (kNoInterface) when it is not a control.
    // Sets site on it at once.
    HostedControl(Ref<Unknown> object, ContainerSite* site);
    HostedControl(HostedControl&& other) noexcept;
    HostedControl& operator=(HostedControl&& other) noexcept;
    ~HostedControl();

    explicit operator bool() const { return static_cast<bool>(control_); }

    Control& control() const { return *control_; }
    Dispatch& dispatch() const { return *dispatch_; }
    const DispatchProxy& proxy() const { return proxy_; }
    // The control's event interface description, or nullptr.
    const InterfaceInfo* eventInfo() const;

    void initNew();
    LoadResult loadText(std::string_view bag);
    LoadResult loadStream(std::span<const uint8_t> stream);
    // The persisted properties; clearModified: this is now the stored design. Throw
    // HostError when the control cannot save.
    std::string saveText(bool clearModified = true);
    std::vector<uint8_t> saveStream(bool clearModified = true);

    // Connects sink to the control's events; returns the cookie. Throws HostError.
    uint32_t advise(EventSink& sink);
    // Ends a connection made by advise (unknown cookies are ignored).
    void unadvise(uint32_t cookie);

    // Lets go of the control now (as the destructor does).
    void reset();

private:
    Ref<Control> control_;
    Ref<Dispatch> dispatch_;
    Ref<ConnectionPoint> events_;
    DispatchProxy proxy_;
    std::vector<uint32_t> cookies_;
};

} // namespace vort::component
