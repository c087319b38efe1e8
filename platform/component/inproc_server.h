// InprocServer: everything a component library's exports do, so that the library's
// own code is its class list and one macro.
//
//   vort::component::InprocServer& server() {
//       static vort::component::InprocServer s(&thingTypeLibrary(), {
//           {.clsid = kClsidThing, .progId = "Vendor.Thing.1", .typeName = "Thing Control",
//            .miscStatus = 0x20591, .insertable = true, .toolboxBitmap = 1,
//            .create = [] () -> vort::component::Unknown* { return createThing(); }},
//       });
//       return s;
//   }
//   VORT_EXPORT_INPROC_SERVER(server)
//
// The macro defines DllGetClassObject, DllCanUnloadNow, DllRegisterServer,
// DllUnregisterServer and VortServerLastError (class_factory.h gives their contract).
//
// Registration writes into registrationTargetPath() (registry.h): first the type
// library entry (failure: kSelfRegTypeLib), then per class its class entry and its
// ProgID entry (failure: kSelfRegClass; classes written before stay, as do earlier
// steps). The library's own path comes from dladdr, made absolute; a relative
// help file of the type library is taken relative to the library's directory.
// Unregistration removes the type library entry, then each class and the ProgIDs that
// name it; entries that are not there are no failure.
//
// Thread rule: the exports are called in the host's owner thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/component/class_factory.h"
#include "platform/component/registry_data.h"
#include "platform/component/type_info.h"

namespace vort::component {

struct ServerClass {
    Guid clsid;
    std::string progId; // "" for none
    std::string typeName;
    ThreadingModel threading = ThreadingModel::Apartment;
    uint32_t miscStatus = 0;
    bool insertable = false;
    int32_t toolboxBitmap = 0; // resource id, 0: none
    // Whether the class entry names the server's type library.
    bool withTypeLibrary = true;
    // Makes a new instance holding one reference (owned by the caller), or returns
    // nullptr when it cannot.
    Unknown* (*create)() = nullptr;
};

class InprocServer {
public:
    // typeLibrary may be null (nothing to register for it); it must outlive the server.
    InprocServer(const TypeLibrary* typeLibrary, std::vector<ServerClass> classes);

    int32_t getClassObject(const Guid* clsid, const Guid* iid, void** out) noexcept;
    int32_t canUnloadNow() noexcept;
    int32_t registerServer() noexcept;
    int32_t unregisterServer() noexcept;
    // Why the last registerServer/unregisterServer failed; "" after a success.
    const char* lastError() const noexcept { return lastError_.c_str(); }

    // The absolute path of the library this code is in ("" when it cannot be found).
    static std::string libraryPath();

private:
    int32_t fail(int32_t code, const std::string& why) noexcept;

    const TypeLibrary* typeLibrary_;
    std::vector<ServerClass> classes_;
    std::string lastError_;
};

} // namespace vort::component

// Defines the exports of a component library from a function returning its
// InprocServer&. Use once, at namespace scope, in the library.
#define VORT_EXPORT_INPROC_SERVER(serverFunction)                                                  \
    extern "C" __attribute__((visibility("default"))) int32_t DllGetClassObject(                   \
        const ::vort::component::Guid* clsid, const ::vort::component::Guid* iid, void** out) {    \
        return (serverFunction)().getClassObject(clsid, iid, out);                                 \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) int32_t DllCanUnloadNow() {                  \
        return (serverFunction)().canUnloadNow();                                                  \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) int32_t DllRegisterServer() {                \
        return (serverFunction)().registerServer();                                                \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) int32_t DllUnregisterServer() {              \
        return (serverFunction)().unregisterServer();                                              \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) const char* VortServerLastError() {          \
        return (serverFunction)().lastError();                                                     \
    }
