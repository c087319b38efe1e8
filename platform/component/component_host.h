// ComponentHost: creates components by CLSID or ProgID through the registry, never by
// linking them.
//
//   ComponentHost host;                                   // per-user, then system registry
//   HostedControl ctl = host.createControl(kClsidThing, &site);
//   ctl.initNew();                                        // or ctl.loadText(storedDesign)
//   ctl.proxy().put(24, Variant::boolean(true));
//
// create: registry lookup -> dlopen (RTLD_NOW | RTLD_LOCAL) -> DllGetClassObject ->
// ClassFactory::createInstance. A library stays loaded while anything of it lives;
// unloadUnused() (also run by the destructor) closes those whose DllCanUnloadNow says
// kOk. A library still in use when the host ends stays loaded for the process's life
// rather than pulling code out from under a live object.
//
// Failures throw HostError with a complete message and a result code:
//   kClassNotRegistered  "class {..} is not registered ...; register its library with
//                         vortreg /path/to/library.so"
//   kRegistryUnreadable  a registry file cannot be read or is damaged (its message)
//   kModuleNotFound      "library ... cannot be loaded: <dlerror>"
//   kProcNotFound        "library ... is not a component library: it has no DllGetClassObject"
//   other codes          the library's or the factory's failure, with describeResult.
// Single-threaded: use a host from the owner's thread only.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/class_factory.h"
#include "platform/component/container_site.h"
#include "platform/component/registry.h"
#include "platform/component/unknown.h"

namespace vort::component {

class HostedControl;

class HostError : public std::runtime_error {
public:
    HostError(int32_t code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    int32_t code() const { return code_; }

private:
    int32_t code_;
};

class ComponentHost {
public:
    // Searches the per-user registry, then the system registry.
    ComponentHost();
    explicit ComponentHost(Registry registry);
    ~ComponentHost();
    ComponentHost(const ComponentHost&) = delete;
    ComponentHost& operator=(const ComponentHost&) = delete;

    const Registry& registry() const { return registry_; }

    Guid clsidFromProgId(std::string_view progId) const;

    // A new instance of class clsid as interface I, holding one reference.
    template <class I> Ref<I> create(const Guid& clsid) {
        return Ref<I>::adopt(static_cast<I*>(createRaw(clsid, I::kIid)));
    }
    template <class I> Ref<I> create(std::string_view progId) {
        return create<I>(clsidFromProgId(progId));
    }

    // A new control, its site set (before anything else, as controls expect); its
    // properties are neither loaded nor defaulted yet: call initNew or a load next.
    // The site must outlive the HostedControl. Throws HostError, also when the class
    // is not a control.
    HostedControl createControl(const Guid& clsid, ContainerSite* site);
    HostedControl createControl(std::string_view progId, ContainerSite* site);

    // Closes every loaded library whose DllCanUnloadNow answers kOk; returns how many.
    size_t unloadUnused();
    // Whether the host holds the library at path (as the registry names it) loaded.
    bool isLoaded(const std::string& path) const;

private:
    struct Library {
        std::string path;
        void* handle = nullptr;
        DllGetClassObjectFn getClassObject = nullptr;
        DllCanUnloadNowFn canUnloadNow = nullptr;
    };

    void* createRaw(const Guid& clsid, const Guid& iid);
    Library& load(const std::string& path);

    Registry registry_;
    std::vector<Library> libraries_;
};

} // namespace vort::component
