#include "platform/component/inproc_server.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <new>

#include "platform/component/module.h"
#include "platform/component/registry.h"
#include "platform/component/registry_file.h"

namespace vort::component {

namespace {

// The factory of one class. It holds a module lock while it lives, so a host that
// keeps a factory keeps the library loaded.
class Factory final : public ClassFactory {
public:
    explicit Factory(Unknown* (*create)()) : create_(create) {}

    int32_t queryInterface(const Guid& iid, void** out) override {
        if (!out)
            return kPointer;
        if (iid == Unknown::kIid || iid == ClassFactory::kIid) {
            *out = static_cast<ClassFactory*>(this);
            addRef();
            return kOk;
        }
        *out = nullptr;
        return kNoInterface;
    }
    uint32_t addRef() override { return refs_.fetch_add(1) + 1; }
    uint32_t release() override {
        uint32_t n = refs_.fetch_sub(1) - 1;
        if (n == 0)
            delete this;
        return n;
    }

    int32_t createInstance(const Guid& iid, void** out) override {
        if (!out)
            return kPointer;
        *out = nullptr;
        Unknown* object = nullptr;
        try {
            object = create_();
        } catch (const std::bad_alloc&) {
            return kOutOfMemory;
        } catch (...) {
            return kUnexpected;
        }
        if (!object)
            return kOutOfMemory;
        int32_t code = object->queryInterface(iid, out);
        object->release(); // the creator's reference; *out holds its own
        return code;
    }

    int32_t lockServer(bool lock) override {
        if (lock)
            lockModule();
        else
            unlockModule();
        return kOk;
    }

private:
    std::atomic<uint32_t> refs_{1};
    ModuleLock moduleLock_;
    Unknown* (*create_)();
};

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// An address inside this library, for dladdr.
void anchor() {}

} // namespace

InprocServer::InprocServer(const TypeLibrary* typeLibrary, std::vector<ServerClass> classes)
    : typeLibrary_(typeLibrary), classes_(std::move(classes)) {}

std::string InprocServer::libraryPath() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&anchor), &info) || !info.dli_fname || !*info.dli_fname)
        return {};
    char resolved[PATH_MAX];
    if (::realpath(info.dli_fname, resolved))
        return resolved;
    return info.dli_fname;
}

int32_t InprocServer::getClassObject(const Guid* clsid, const Guid* iid, void** out) noexcept {
    if (!clsid || !iid || !out)
        return kPointer;
    *out = nullptr;
    for (const ServerClass& c : classes_) {
        if (c.clsid != *clsid)
            continue;
        if (!c.create)
            return kClassNotAvailable;
        Factory* factory = new (std::nothrow) Factory(c.create);
        if (!factory)
            return kOutOfMemory;
        int32_t code = factory->queryInterface(*iid, out);
        factory->release();
        return code;
    }
    return kClassNotAvailable;
}

int32_t InprocServer::canUnloadNow() noexcept {
    return moduleLockCount() == 0 ? kOk : kFalse;
}

int32_t InprocServer::fail(int32_t code, const std::string& why) noexcept {
    try {
        lastError_ = why;
    } catch (...) {
        lastError_.clear();
    }
    return code;
}

int32_t InprocServer::registerServer() noexcept {
    lastError_.clear();
    std::string target;
    std::string library;
    try {
        target = registrationTargetPath();
        library = libraryPath();
        if (library.empty() || library.front() != '/')
            return fail(typeLibrary_ ? kSelfRegTypeLib : kSelfRegClass,
                        "the library cannot find its own path");
    } catch (...) {
        return fail(kSelfRegTypeLib, "out of memory");
    }
    if (typeLibrary_) {
        try {
            TypeLibRecord t;
            t.libid = typeLibrary_->libid;
            t.major = typeLibrary_->versionMajor;
            t.minor = typeLibrary_->versionMinor;
            t.name = typeLibrary_->name;
            t.help = typeLibrary_->help;
            t.library = library;
            if (!typeLibrary_->helpFile.empty())
                t.helpFile = typeLibrary_->helpFile.front() == '/'
                                 ? typeLibrary_->helpFile
                                 : directoryOf(library) + "/" + typeLibrary_->helpFile;
            updateRegistryFile(target, [&](RegistryData& d) { d.putTypeLib(t); });
        } catch (const std::exception& e) {
            return fail(kSelfRegTypeLib, std::string("type library: ") + e.what());
        }
    }
    for (const ServerClass& c : classes_) {
        try {
            ClassRecord r;
            r.clsid = c.clsid;
            r.progId = c.progId;
            r.typeName = c.typeName;
            r.library = library;
            r.threading = c.threading;
            r.miscStatus = c.miscStatus;
            r.insertable = c.insertable;
            r.toolboxBitmap = c.toolboxBitmap;
            if (typeLibrary_ && c.withTypeLibrary) {
                r.typeLib = typeLibrary_->libid;
                r.typeLibMajor = typeLibrary_->versionMajor;
                r.typeLibMinor = typeLibrary_->versionMinor;
            }
            updateRegistryFile(target, [&](RegistryData& d) {
                d.putClass(r);
                if (!r.progId.empty())
                    d.putProgId({r.progId, r.clsid});
            });
        } catch (const std::exception& e) {
            return fail(kSelfRegClass, "class " + c.clsid.format() + ": " + e.what());
        }
    }
    return kOk;
}

int32_t InprocServer::unregisterServer() noexcept {
    lastError_.clear();
    std::string target;
    try {
        target = registrationTargetPath();
    } catch (...) {
        return fail(kSelfRegTypeLib, "out of memory");
    }
    if (typeLibrary_) {
        try {
            updateRegistryFile(target, [&](RegistryData& d) {
                d.removeTypeLib(typeLibrary_->libid, typeLibrary_->versionMajor,
                                typeLibrary_->versionMinor);
            });
        } catch (const std::exception& e) {
            return fail(kSelfRegTypeLib, std::string("type library: ") + e.what());
        }
    }
    for (const ServerClass& c : classes_) {
        try {
            updateRegistryFile(target, [&](RegistryData& d) {
                d.removeClass(c.clsid);
                d.removeProgIdsOf(c.clsid);
            });
        } catch (const std::exception& e) {
            return fail(kSelfRegClass, "class " + c.clsid.format() + ": " + e.what());
        }
    }
    return kOk;
}

} // namespace vort::component
