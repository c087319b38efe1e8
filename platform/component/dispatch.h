// Dispatch: late-bound calls by DISPID, the interface every host call goes through.
//
// A call names a member by DISPID and says what it does with it (InvokeKind); the
// arguments come in natural order (args[0] is the first parameter), a property put
// takes exactly one argument, the new value. The outcome is an InvokeResult: code 0
// for success, otherwise the failure code and, for a control's own errors, the
// exception record (error number and description).
//
// Thread rule: called only in the owner's thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/component/error.h"
#include "platform/component/result.h"
#include "platform/component/unknown.h"
#include "platform/component/variant.h"

namespace vort::component {

struct InterfaceInfo;

enum class InvokeKind : uint8_t { PropertyGet, PropertyPut, Method };

// "PropertyGet", "PropertyPut", "Method".
const char* invokeKindName(InvokeKind kind);

struct InvokeResult {
    // 0: success. 0x800A0000 + number: the control's error (number and description
    // below). kDispMemberNotFound, kDispBadParamCount, kDispTypeMismatch,
    // kDispOverflow: the call did not fit the member. Others (kOutOfMemory,
    // kUnexpected): the member failed in an unforeseen way.
    int32_t code = kOk;
    // The error number a host shows: the control's number (383, 394, 422, 55...), or
    // for the dispatch failures 438 (member not found), 450 (bad argument count),
    // 13 (type mismatch), 6 (overflow); 0 on success.
    int32_t number = 0;
    // UTF-8 description; may be empty (422 has none).
    std::string description;

    bool ok() const { return code == kOk; }

    static InvokeResult success() { return {}; }
    // The exception record of a control error: code 0x800A0000 + number.
    static InvokeResult fromError(const ComponentError& e);
    // One of the dispatch failures above, with its number and standard description.
    static InvokeResult failure(int32_t code);
};

class Dispatch : public Unknown {
public:
    static constexpr Guid kIid = Guid::literal("{95F44BC4-56E5-4409-A3AC-C44CEF95AEED}");

    // Calls member dispid. result may be null when the caller does not want a value;
    // for a PropertyPut it is left untouched. Arguments that are by-reference Variants
    // (Variant::byRef) receive values the member hands back. Never throws.
    virtual InvokeResult invoke(int32_t dispid, InvokeKind kind, std::span<Variant> args,
                                Variant* result) = 0;

    // The DISPID of the member called name (ASCII case ignored) into *dispid and kOk,
    // or kDispUnknownName. Members hidden from the type information are found too.
    virtual int32_t getIdsOfNames(std::string_view name, int32_t* dispid) = 0;

    // The description of this interface, or nullptr when the object has none. Valid
    // while the object lives.
    virtual const InterfaceInfo* typeInfo() = 0;

protected:
    ~Dispatch() = default;
};

// What a host implements to receive a component's events. Not reference-counted: the
// host keeps the sink alive until it has unadvised it (or released the component).
class EventSink {
public:
    // One event: its DISPID in the component's event interface and its arguments in
    // natural order. Called in the owner's thread, synchronously from fire().
    virtual void onEvent(int32_t dispid, std::span<const Variant> args) = 0;

protected:
    ~EventSink() = default;
};

// The connection point of a component's (single) event interface.
class ConnectionPoint : public Unknown {
public:
    static constexpr Guid kIid = Guid::literal("{51B965CA-D1AD-476D-949B-C36F71829D56}");

    // Connects sink; *cookie receives a nonzero number that names this connection for
    // unadvise. kPointer when sink or cookie is null. The same sink may be advised
    // more than once (it then hears each event once per connection).
    virtual int32_t advise(EventSink* sink, uint32_t* cookie) = 0;
    // Ends the connection cookie; kInvalidArg for a cookie that is not connected.
    // Safe inside an event handler: a sink unadvised during fire() is not called again.
    virtual int32_t unadvise(uint32_t cookie) = 0;
    // The event interface's description, or nullptr.
    virtual const InterfaceInfo* eventInfo() = 0;

protected:
    ~ConnectionPoint() = default;
};

} // namespace vort::component
