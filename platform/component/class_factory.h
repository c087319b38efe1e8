// ClassFactory: makes the instances of one class of a component library, and the
// plain C exports by which a host reaches a library's factories.
//
// A component library exports (extern "C", default visibility):
//   int32_t DllGetClassObject(const Guid* clsid, const Guid* iid, void** out);
//       the factory of class clsid as interface iid (ClassFactory::kIid or
//       Unknown::kIid) with one reference: kOk; kClassNotAvailable for a class the
//       library does not have; kPointer for null arguments; kNoInterface.
//   int32_t DllCanUnloadNow();
//       kOk when no object, factory or server lock of the library is alive (the host
//       may dlclose it), else kFalse.
//   int32_t DllRegisterServer();
//       writes the library's type library, then each class, into the registry:
//       kOk; kSelfRegTypeLib or kSelfRegClass when that step failed (entries written
//       before the failure stay).
//   int32_t DllUnregisterServer();
//       removes them again, type library first, then the classes; same results.
//   const char* VortServerLastError();   (optional)
//       the reason of the last failed registration step in words, "" if none.
// InprocServer (inproc_server.h) implements all of them for a library.
#pragma once

#include <cstdint>

#include "platform/component/unknown.h"

namespace vort::component {

class ClassFactory : public Unknown {
public:
    static constexpr Guid kIid = Guid::literal("{BD3599EA-1360-495C-B594-175FF96B453F}");

    // A new instance, its interface iid in *out with one reference: kOk; kNoInterface
    // (the instance is discarded); kOutOfMemory; kPointer for a null out.
    virtual int32_t createInstance(const Guid& iid, void** out) = 0;
    // lock true keeps the library loaded (DllCanUnloadNow answers kFalse) until the
    // matching lockServer(false).
    virtual int32_t lockServer(bool lock) = 0;

protected:
    ~ClassFactory() = default;
};

extern "C" {
using DllGetClassObjectFn = int32_t (*)(const Guid* clsid, const Guid* iid, void** out);
using DllCanUnloadNowFn = int32_t (*)();
using DllRegisterServerFn = int32_t (*)();
using DllUnregisterServerFn = int32_t (*)();
using ServerLastErrorFn = const char* (*)();
}

// The export names, for dlsym.
inline constexpr const char* kDllGetClassObject = "DllGetClassObject";
inline constexpr const char* kDllCanUnloadNow = "DllCanUnloadNow";
inline constexpr const char* kDllRegisterServer = "DllRegisterServer";
inline constexpr const char* kDllUnregisterServer = "DllUnregisterServer";
inline constexpr const char* kServerLastError = "VortServerLastError";

} // namespace vort::component
