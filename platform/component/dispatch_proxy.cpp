#include "platform/component/dispatch_proxy.h"

#include "platform/component/text.h"

namespace vort::component {

namespace {

[[noreturn]] void raise(const InvokeResult& r) {
    throw ComponentError(r.number, r.description, r.code);
}

[[noreturn]] void typeMismatch() {
    throw ComponentError(kErrTypeMismatch, standardErrorText(kErrTypeMismatch), kDispTypeMismatch);
}

} // namespace

Variant DispatchProxy::invoke(int32_t dispid, InvokeKind kind, std::vector<Variant>& args) const {
    if (!dispatch_)
        throw ComponentError(0, "no component to call", kPointer);
    Variant result;
    InvokeResult r = dispatch_->invoke(dispid, kind, args, &result);
    if (!r.ok())
        raise(r);
    return result;
}

Variant DispatchProxy::get(int32_t dispid) const {
    std::vector<Variant> none;
    return invoke(dispid, InvokeKind::PropertyGet, none);
}

void DispatchProxy::put(int32_t dispid, Variant value) const {
    std::vector<Variant> args{std::move(value)};
    invoke(dispid, InvokeKind::PropertyPut, args);
}

Variant DispatchProxy::call(int32_t dispid, std::vector<Variant> args) const {
    return invoke(dispid, InvokeKind::Method, args);
}

int32_t DispatchProxy::dispidOf(std::string_view name) const {
    std::string key = toUpperAscii(name);
    if (auto it = names_.find(key); it != names_.end())
        return it->second;
    if (!dispatch_)
        throw ComponentError(0, "no component to call", kPointer);
    int32_t dispid = 0;
    if (dispatch_->getIdsOfNames(name, &dispid) != kOk)
        throw ComponentError(kErrMemberNotFound,
                             standardErrorText(kErrMemberNotFound) + " (" + std::string(name) + ")",
                             kDispUnknownName);
    names_.emplace(std::move(key), dispid);
    return dispid;
}

int16_t DispatchProxy::getI2(int32_t dispid) const {
    int16_t v = 0;
    if (!get(dispid).toI2(v))
        typeMismatch();
    return v;
}

int32_t DispatchProxy::getI4(int32_t dispid) const {
    int32_t v = 0;
    if (!get(dispid).toI4(v))
        typeMismatch();
    return v;
}

bool DispatchProxy::getBool(int32_t dispid) const {
    bool v = false;
    if (!get(dispid).toBool(v))
        typeMismatch();
    return v;
}

std::u16string DispatchProxy::getText(int32_t dispid) const {
    std::u16string v;
    if (!get(dispid).toText(v))
        typeMismatch();
    return v;
}

} // namespace vort::component
