#include "libs/serilon/isdn_capi.h"

#include "serilon/serilon.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace serilon {

namespace {

// The variable that names the CAPI library to load (a test controller, for instance).
constexpr const char* kLibraryVariable = "SERILON_CAPI_LIBRARY";

const char* overrideLibrary() {
    const char* name = std::getenv(kLibraryVariable);
    return name && *name ? name : nullptr;
}

template <class Fn> void bind(void* handle, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(::dlsym(handle, name));
}

} // namespace

const CapiLibrary& capiLibrary() {
    static CapiLibrary library;
    static std::once_flag once;
    std::call_once(once, [] {
        if (const char* name = overrideLibrary()) {
            library.handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
            if (!library.handle) {
                const char* error = ::dlerror();
                library.missing = std::string("the CAPI library ") + name + " (from " +
                                  kLibraryVariable + ") cannot be loaded" +
                                  (error ? std::string(": ") + error : std::string());
                return;
            }
        } else {
            for (const char* candidate : {"libcapi20.so.3", "libcapi20.so"}) {
                library.handle = ::dlopen(candidate, RTLD_NOW | RTLD_LOCAL);
                if (library.handle) {
                    break;
                }
            }
        }
        if (!library.handle) {
            library.missing = "the CAPI 2.0 library (libcapi20) is not installed";
            return;
        }
        bind(library.handle, "capi20_isinstalled", library.isInstalled);
        bind(library.handle, "capi20_get_profile", library.getProfile);
        bind(library.handle, "capi20_register", library.registerApp);
        bind(library.handle, "capi20_release", library.release);
        bind(library.handle, "capi20_put_message", library.putMessage);
        bind(library.handle, "capi20_get_message", library.getMessage);
        bind(library.handle, "capi20_waitformessage", library.waitForMessage);
        bind(library.handle, "capi20_fileno", library.fileno);
        if (!library.isInstalled || !library.getProfile) {
            library.missing = "the CAPI 2.0 library lacks capi20_isinstalled or capi20_get_profile";
        } else if (!library.registerApp || !library.release || !library.putMessage ||
                   !library.getMessage || !library.fileno) {
            library.missing = "the CAPI 2.0 library lacks capi20_register, capi20_release, "
                              "capi20_put_message, capi20_get_message or capi20_fileno";
        }
    });
    return library;
}

// Whether CAPI could reach a controller at all: the kernel's CAPI device, or a
// configuration for a remote one. Without either the CAPI library would only print its
// search on stderr before saying no.
bool capiReachable() {
    if (overrideLibrary()) {
        return true; // a library chosen by name reaches its controllers its own way
    }
    if (::access("/dev/capi20", F_OK) == 0 || ::access("/etc/capi20.conf", F_OK) == 0) {
        return true;
    }
    const char* home = std::getenv("HOME");
    return home && ::access((std::string(home) + "/.capi20rc").c_str(), F_OK) == 0;
}

int capiControllers(std::string& why) {
    if (!capiReachable()) {
        why = "no CAPI device /dev/capi20 and no CAPI configuration";
        return 0;
    }
    const CapiLibrary& lib = capiLibrary();
    if (!lib.missing.empty()) {
        why = lib.missing;
        return 0;
    }
    if (lib.isInstalled() != 0) {
        why = "CAPI 2.0 reports no controller";
        return 0;
    }
    // Profile of controller 0: the number of installed controllers in its first 2 bytes.
    unsigned char profile[64] = {};
    if (lib.getProfile(0, profile) != 0) {
        why = "CAPI 2.0 gives no controller profile";
        return 0;
    }
    const int count = profile[0] | (profile[1] << 8);
    if (count == 0) {
        why = "CAPI 2.0 reports no controller";
    }
    return count;
}

OsStatus checkIsdnController(const ConnectionConfig& config) {
    std::string why;
    const int controllers = capiControllers(why);
    if (controllers == 0) {
        return OsStatus::make(SERIAL_E_NO_DEVICE, "no ISDN controller is available (" + why + ")");
    }
    if (config.controller < 1 || config.controller > controllers) {
        return OsStatus::make(SERIAL_E_NO_DEVICE,
                              "no ISDN controller is available with the number " +
                                  std::to_string(config.controller) + " (this machine has " +
                                  std::to_string(controllers) + ")");
    }
    return OsStatus::success();
}

} // namespace serilon
