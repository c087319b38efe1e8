// DispatchProxy: the host's handle for calling a component through Dispatch, turning
// every failure into a C++ exception.
//
//   DispatchProxy ctl(control.dispatch());
//   ctl.put(24, Variant::boolean(true));           // PortOpen = True
//   int16_t port = ctl.getI2(6);                   // CommPort
//   ctl.put("Settings", Variant::bstr(u"9600,N,8,1"));
//   Variant data;
//   ctl.call(55, {Variant::i2(0), Variant::byRef(&data), Variant::i2(16)});
//
// A failed call throws ComponentError carrying the number a host shows (the control's
// 383, 394, 422, 55...; 438 member not found, 450 bad argument count, 13 type
// mismatch, 6 overflow), the description, and the result code (scode()). A typed
// wrapper for a particular control is a thin layer of such calls.
//
// Names are looked up once through getIdsOfNames and remembered. Not thread-safe:
// used in the owner's thread like the component.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/component/dispatch.h"

namespace vort::component {

class DispatchProxy {
public:
    DispatchProxy() = default;
    explicit DispatchProxy(Ref<Dispatch> dispatch) : dispatch_(std::move(dispatch)) {}

    Dispatch* dispatch() const { return dispatch_.get(); }
    explicit operator bool() const { return static_cast<bool>(dispatch_); }

    Variant get(int32_t dispid) const;
    void put(int32_t dispid, Variant value) const;
    // Arguments in natural order; by-reference ones (Variant::byRef) receive values.
    Variant call(int32_t dispid, std::vector<Variant> args = {}) const;

    // The DISPID of name (ASCII case ignored); throws ComponentError 438 when unknown.
    int32_t dispidOf(std::string_view name) const;
    Variant get(std::string_view name) const { return get(dispidOf(name)); }
    void put(std::string_view name, Variant value) const { put(dispidOf(name), std::move(value)); }
    Variant call(std::string_view name, std::vector<Variant> args = {}) const {
        return call(dispidOf(name), std::move(args));
    }

    // Reads converted to the type; a value that does not convert throws 13.
    int16_t getI2(int32_t dispid) const;
    int32_t getI4(int32_t dispid) const;
    bool getBool(int32_t dispid) const;
    std::u16string getText(int32_t dispid) const;

private:
    Variant invoke(int32_t dispid, InvokeKind kind, std::vector<Variant>& args) const;

    Ref<Dispatch> dispatch_;
    mutable std::unordered_map<std::string, int32_t> names_;
};

} // namespace vort::component
