// vortreg: registers a component library (loads it and calls its DllRegisterServer),
// unregisters it (DllUnregisterServer), or lists every registered class.
//
//   vortreg [--system] LIBRARY       register
//   vortreg [--system] -u LIBRARY    unregister
//   vortreg --list                   every class of the per-user and the system
//                                    registry, one per line, tab-separated:
//                                    CLSID  ProgID ("-" if none)  type name  library  user|system
//   vortreg --help | --version
//
// Without --system the per-user registry is written, with it the system one (see
// platform/component/registry.h for both places).
//
// Exit status: 0 success; 1 the library's registration export failed (its code and
// reason are printed); 2 wrong usage; 3 the library is not found or cannot be loaded;
// 4 the file is not a component library (an export is missing); 5 --list met a
// registry file it cannot read (the readable ones are still listed).
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/component/class_factory.h"
#include "platform/component/registry.h"

using namespace vort::component;

namespace {

enum Exit {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitLoad = 3,
    kExitNotComponent = 4,
    kExitRegistry = 5
};

void usage(FILE* to) {
    std::fputs("usage: vortreg [--system] LIBRARY       register a component library\n"
               "       vortreg [--system] -u LIBRARY    unregister it\n"
               "       vortreg --list                   list every registered class\n"
               "       vortreg --help | --version\n"
               "Without --system the per-user registry is written, with it the system one.\n"
               "  --system          write the system registry instead of the user's\n"
               "  -u, --unregister  unregister the library instead of registering it\n"
               "  --list            list every registered class, one per line\n"
               "  -h, --help        print this help and end\n"
               "  --version         print the version and end\n",
               to);
}

int list() {
    Registry registry;
    std::vector<std::string> errors;
    std::vector<FoundClass> classes = registry.allClasses(&errors);
    std::string systemFile = systemRegistryPath();
    for (const FoundClass& c : classes) {
        std::printf("%s\t%s\t%s\t%s\t%s\n", c.record.clsid.format().c_str(),
                    c.record.progId.empty() ? "-" : c.record.progId.c_str(),
                    c.record.typeName.c_str(), c.record.library.c_str(),
                    c.registryFile == systemFile ? "system" : "user");
    }
    for (const std::string& e : errors)
        std::fprintf(stderr, "vortreg: %s\n", e.c_str());
    return errors.empty() ? kExitOk : kExitRegistry;
}

int registration(const std::string& given, bool unregister) {
    struct stat st {};
    if (::stat(given.c_str(), &st) != 0) {
        std::fprintf(stderr, "vortreg: library %s not found: %s\n", given.c_str(),
                     std::strerror(errno));
        return kExitLoad;
    }
    if (!S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "vortreg: %s is not a file\n", given.c_str());
        return kExitLoad;
    }
    // An absolute path, so that dlopen takes the file given rather than searching the
    // library path for a name without a slash.
    char resolved[PATH_MAX];
    std::string path = ::realpath(given.c_str(), resolved) ? resolved : given;

    ::dlerror();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = ::dlerror();
        std::fprintf(stderr, "vortreg: library %s cannot be loaded: %s\n", path.c_str(),
                     err ? err : "unknown error");
        return kExitLoad;
    }
    const char* exportName = unregister ? kDllUnregisterServer : kDllRegisterServer;
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, exportName));
    if (!fn) {
        std::fprintf(stderr, "vortreg: %s is not a component library: it has no %s\n", path.c_str(),
                     exportName);
        ::dlclose(handle);
        return kExitNotComponent;
    }
    int32_t code = fn();
    std::string target = registrationTargetPath();
    int result = kExitOk;
    if (code != kOk) {
        auto lastError = reinterpret_cast<ServerLastErrorFn>(::dlsym(handle, kServerLastError));
        const char* why = lastError ? lastError() : nullptr;
        std::fprintf(stderr, "vortreg: %s of %s failed with %s%s%s\n", exportName, path.c_str(),
                     describeResult(code).c_str(), why && *why ? ": " : "", why ? why : "");
        result = kExitFailed;
    } else {
        std::printf("vortreg: %s %s %s\n", unregister ? "unregistered" : "registered", path.c_str(),
                    (std::string(unregister ? "from " : "in ") + target).c_str());
    }
    // The library's objects are gone; closing it is only tidiness, so it is left to
    // the process's end when the library says it is still in use.
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, kDllCanUnloadNow));
    if (!canUnload || canUnload() == kOk)
        ::dlclose(handle);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    bool system = false, unregister = false, doList = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--system")
            system = true;
        else if (a == "-u" || a == "--unregister")
            unregister = true;
        else if (a == "--list")
            doList = true;
        else if (a == "-h" || a == "--help") {
            usage(stdout);
            return kExitOk;
        } else if (a == "--version") {
            std::printf("vortreg %s\n", VORT_PROGRAM_VERSION);
            return kExitOk;
        } else if (a == "--") {
            for (++i; i < argc; ++i)
                paths.emplace_back(argv[i]);
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "vortreg: unknown option %s\n", a.c_str());
            usage(stderr);
            return kExitUsage;
        } else {
            paths.push_back(a);
        }
    }
    if (doList) {
        if (unregister || system || !paths.empty()) {
            std::fprintf(stderr, "vortreg: --list takes no library and no other option\n");
            return kExitUsage;
        }
        return list();
    }
    if (paths.size() != 1) {
        std::fprintf(stderr, paths.empty() ? "vortreg: no library given\n"
                                           : "vortreg: give exactly one library\n");
        usage(stderr);
        return kExitUsage;
    }
    if (system)
        ::setenv(kRegistryTargetVariable, systemRegistryPath().c_str(), 1);
    return registration(paths[0], unregister);
}
