// ISDN through CAPI 2.0: the CAPI library is loaded at run time (the serial core
// library works without it). The environment variable SERILON_CAPI_LIBRARY names the
// library to load instead of the system's (then no CAPI device is looked for).
#pragma once

#include "libs/serilon/connection_config.h"
#include "libs/serilon/os_error.h"

#include <string>
#include <sys/time.h>

namespace serilon {

// The CAPI 2.0 calls, as the CAPI library exports them. Loaded once per process and
// never unloaded (library threads may use it while the process exits).
struct CapiLibrary {
    using IsInstalledFn = unsigned (*)();
    using GetProfileFn = unsigned (*)(unsigned controller, unsigned char* buffer);
    using RegisterFn = unsigned (*)(unsigned maxLogicalConnections, unsigned maxBDataBlocks,
                                    unsigned maxBDataLen, unsigned* appId);
    using ReleaseFn = unsigned (*)(unsigned appId);
    using PutMessageFn = unsigned (*)(unsigned appId, unsigned char* message);
    using GetMessageFn = unsigned (*)(unsigned appId, unsigned char** buffer);
    using WaitForMessageFn = unsigned (*)(unsigned appId, struct timeval* timeout);
    using FilenoFn = int (*)(unsigned appId);

    void* handle = nullptr;
    IsInstalledFn isInstalled = nullptr;
    GetProfileFn getProfile = nullptr;
    RegisterFn registerApp = nullptr;
    ReleaseFn release = nullptr;
    PutMessageFn putMessage = nullptr;
    GetMessageFn getMessage = nullptr;
    WaitForMessageFn waitForMessage = nullptr;
    FilenoFn fileno = nullptr;
    // Why the library cannot be used; empty when it can.
    std::string missing;
};

// The process's CAPI library (loaded at the first call).
const CapiLibrary& capiLibrary();

// How many CAPI controllers the machine has; 0 when the CAPI library is missing or
// reports none. why gets the reason for 0.
int capiControllers(std::string& why);

// Checks that config's controller exists. SERIAL_E_NO_DEVICE with a text saying that
// no ISDN controller is available (and why) when it does not.
OsStatus checkIsdnController(const ConnectionConfig& config);

} // namespace serilon
