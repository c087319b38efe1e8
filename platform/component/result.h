// Result codes of the component model's interfaces and of a component library's
// exports. 0 is success; failures have the top bit set. The values follow the
// automation conventions hosts already know, so a code printed by a tool or shown in
// a message means the same thing everywhere.
//
// A control's own failures are 0x800A0000 + error number (see ComponentError).
#pragma once

#include <cstdint>
#include <string>

namespace vort::component {

constexpr int32_t resultCode(uint32_t bits) {
    return static_cast<int32_t>(bits);
}

inline constexpr int32_t kOk = 0;
// Success, but "no": DllCanUnloadNow answering "still in use".
inline constexpr int32_t kFalse = 1;

inline constexpr int32_t kNotImplemented = resultCode(0x80004001);
inline constexpr int32_t kNoInterface = resultCode(0x80004002); // queryInterface: not offered
inline constexpr int32_t kPointer = resultCode(0x80004003);     // a required pointer was null
inline constexpr int32_t kFail = resultCode(0x80004005);
inline constexpr int32_t kUnexpected = resultCode(0x8000FFFF);  // an unexpected exception
inline constexpr int32_t kInvalidData = resultCode(0x8007000D); // damaged stored properties
inline constexpr int32_t kOutOfMemory = resultCode(0x8007000E);
inline constexpr int32_t kInvalidArg = resultCode(0x80070057); // e.g. unknown advise cookie

// Host: the class (or ProgID) is in no registry file.
inline constexpr int32_t kClassNotRegistered = resultCode(0x80040154);
// Host: a registry file cannot be read or is damaged.
inline constexpr int32_t kRegistryUnreadable = resultCode(0x80040150);
// Host: the component library cannot be loaded.
inline constexpr int32_t kModuleNotFound = resultCode(0x8007007E);
// Host: the library lacks an export (it is not a component library).
inline constexpr int32_t kProcNotFound = resultCode(0x8007007F);

// DllGetClassObject: the library does not implement the class asked for.
inline constexpr int32_t kClassNotAvailable = resultCode(0x80040111);
// DllRegisterServer / DllUnregisterServer: the type library step failed.
inline constexpr int32_t kSelfRegTypeLib = resultCode(0x80040200);
// DllRegisterServer / DllUnregisterServer: a class step failed.
inline constexpr int32_t kSelfRegClass = resultCode(0x80040201);

// Dispatch failures that are not the control's own errors.
inline constexpr int32_t kDispMemberNotFound = resultCode(0x80020003); // no such DISPID or kind
inline constexpr int32_t kDispTypeMismatch = resultCode(0x80020005);   // argument does not convert
inline constexpr int32_t kDispUnknownName = resultCode(0x80020006); // getIdsOfNames: no such name
inline constexpr int32_t kDispOverflow = resultCode(0x8002000A); // number out of range for the type
inline constexpr int32_t kDispBadParamCount = resultCode(0x8002000E); // wrong number of arguments

// The facility of a control's error: 0x800A0000 + number.
inline constexpr uint32_t kControlErrorBase = 0x800A0000u;
constexpr bool isControlError(int32_t code) {
    return (static_cast<uint32_t>(code) & 0xFFFF0000u) == kControlErrorBase;
}

inline constexpr bool succeeded(int32_t code) {
    return code >= 0;
}
inline constexpr bool failed(int32_t code) {
    return code < 0;
}

// "0x80040111 (class not available)": the code in hex with its meaning, for messages.
std::string describeResult(int32_t code);

} // namespace vort::component
