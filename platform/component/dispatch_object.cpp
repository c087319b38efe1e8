#include "platform/component/dispatch_object.h"

namespace vort::component {

int32_t DispatchObject::queryInterface(const Guid& iid, void** out) {
    if (!out)
        return kPointer;
    *out = findInterface(iid);
    if (!*out)
        return kNoInterface;
    addRef();
    return kOk;
}

void* DispatchObject::findInterface(const Guid& iid) {
    if (iid == Unknown::kIid)
        return static_cast<Unknown*>(static_cast<Dispatch*>(this));
    if (iid == Dispatch::kIid)
        return static_cast<Dispatch*>(this);
    return nullptr;
}

uint32_t DispatchObject::addRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t DispatchObject::release() {
    uint32_t n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0)
        delete this;
    return n;
}

InvokeResult DispatchObject::invoke(int32_t dispid, InvokeKind kind, std::span<Variant> args,
                                    Variant* result) {
    // A member may fire an event whose handler drops the host's last reference; the
    // object must outlive the call.
    KeepAlive keep(*this);
    return members_.invokeOn(*this, userMode(), dispid, kind, args, result);
}

int32_t DispatchObject::getIdsOfNames(std::string_view name, int32_t* dispid) {
    if (!dispid)
        return kPointer;
    return members_.idOfName(name, dispid);
}

} // namespace vort::component
