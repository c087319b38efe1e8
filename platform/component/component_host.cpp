#include "platform/component/component_host.h"

#include <dlfcn.h>

#include "platform/component/hosted_control.h"

namespace vort::component {

namespace {

std::string searched(const Registry& registry) {
    std::string s;
    for (const std::string& f : registry.files())
        s += (s.empty() ? "" : ", ") + f;
    return s;
}

const char* kRegisterHint = "; register its library with: vortreg /path/to/library.so";

} // namespace

ComponentHost::ComponentHost() = default;

ComponentHost::ComponentHost(Registry registry) : registry_(std::move(registry)) {}

ComponentHost::~ComponentHost() {
    unloadUnused();
}

Guid ComponentHost::clsidFromProgId(std::string_view progId) const {
    std::optional<Guid> clsid;
    try {
        clsid = registry_.findProgId(progId);
    } catch (const RegistryError& e) {
        throw HostError(kRegistryUnreadable, e.what());
    }
    if (!clsid)
        throw HostError(kClassNotRegistered, "ProgID \"" + std::string(progId) +
                                                 "\" is not registered (searched " +
                                                 searched(registry_) + ")" + kRegisterHint);
    return *clsid;
}

ComponentHost::Library& ComponentHost::load(const std::string& path) {
    for (Library& lib : libraries_)
        if (lib.path == path)
            return lib;
    ::dlerror();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = ::dlerror();
        throw HostError(kModuleNotFound,
                        "library " + path + " cannot be loaded: " + (err ? err : "unknown error"));
    }
    Library lib;
    lib.path = path;
    lib.handle = handle;
    lib.getClassObject = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, kDllGetClassObject));
    lib.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, kDllCanUnloadNow));
    if (!lib.getClassObject) {
        ::dlclose(handle);
        throw HostError(kProcNotFound, "library " + path +
                                           " is not a component library: it has no " +
                                           kDllGetClassObject);
    }
    libraries_.push_back(lib);
    return libraries_.back();
}

void* ComponentHost::createRaw(const Guid& clsid, const Guid& iid) {
    std::optional<FoundClass> found;
    try {
        found = registry_.findClass(clsid);
    } catch (const RegistryError& e) {
        throw HostError(kRegistryUnreadable, e.what());
    }
    if (!found)
        throw HostError(kClassNotRegistered, "class " + clsid.format() +
                                                 " is not registered (searched " +
                                                 searched(registry_) + ")" + kRegisterHint);
    const std::string& path = found->record.library;
    Library& lib = load(path);
    void* out = nullptr;
    int32_t code = lib.getClassObject(&clsid, &ClassFactory::kIid, &out);
    if (code != kOk || !out)
        throw HostError(code != kOk ? code : kPointer,
                        "library " + path + " does not provide class " + clsid.format() + ": " +
                            kDllGetClassObject + " returned " + describeResult(code));
    Ref<ClassFactory> factory = Ref<ClassFactory>::adopt(static_cast<ClassFactory*>(out));
    out = nullptr;
    code = factory->createInstance(iid, &out);
    if (code != kOk || !out)
        throw HostError(code != kOk ? code : kPointer,
                        "class " + clsid.format() + " of library " + path +
                            " cannot be created: " + describeResult(code));
    return out;
}

HostedControl ComponentHost::createControl(const Guid& clsid, ContainerSite* site) {
    return HostedControl(create<Unknown>(clsid), site);
}

HostedControl ComponentHost::createControl(std::string_view progId, ContainerSite* site) {
    return createControl(clsidFromProgId(progId), site);
}

size_t ComponentHost::unloadUnused() {
    size_t closed = 0;
    for (size_t i = 0; i < libraries_.size();) {
        Library& lib = libraries_[i];
        if (lib.canUnloadNow && lib.canUnloadNow() == kOk) {
            ::dlclose(lib.handle);
            libraries_.erase(libraries_.begin() + static_cast<std::ptrdiff_t>(i));
            ++closed;
        } else {
            ++i;
        }
    }
    return closed;
}

bool ComponentHost::isLoaded(const std::string& path) const {
    for (const Library& lib : libraries_)
        if (lib.path == path)
            return true;
    return false;
}

} // namespace vort::component
