#include "libs/serilon/isdn_capi.h"

#include "control/libs/serilon.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace serilon {

namespace {

// CAPI 2.0 calls we use, as the CAPI library exports them.
using IsInstalledFn = unsigned (*)();
using GetProfileFn = unsigned (*)(unsigned controller, unsigned char* buffer);

struct CapiLibrary {
    void* handle = nullptr;
    IsInstalledFn isInstalled = nullptr;
    GetProfileFn getProfile = nullptr;
    std::string missing;
};

const CapiLibrary& capi() {
    static CapiLibrary library;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* name : {"libcapi20.so.3", "libcapi20.so"}) {
            library.handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
            if (library.handle) {
                break;
            }
        }
        if (!library.handle) {
            library.missing = "the CAPI 2.0 library (libcapi20) is not installed";
            return;
        }
        library.isInstalled =
            reinterpret_cast<IsInstalledFn>(::dlsym(library.handle, "capi20_isinstalled"));
        library.getProfile =
            reinterpret_cast<GetProfileFn>(::dlsym(library.handle, "capi20_get_profile"));
        if (!library.isInstalled || !library.getProfile) {
            library.missing = "the CAPI 2.0 library lacks capi20_isinstalled or capi20_get_profile";
        }
    });
    return library;
}

} // namespace

// Whether CAPI could reach a controller at all: the kernel's CAPI device, or a
// configuration for a remote one. Without either the CAPI library would only print its
// search on stderr before saying no.
bool capiReachable() {
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
    const CapiLibrary& lib = capi();
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

OsStatus openIsdn(const ConnectionConfig& config) {
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
    return OsStatus::make(SERIAL_E_UNSUPPORTED,
                          "ISDN controller " + std::to_string(config.controller) +
                              " is present, but this library does not carry ISDN calls yet");
}

} // namespace serilon
