// ISDN through CAPI 2.0: the CAPI library is loaded at run time (the serial core
// library works without it), and an ISDN comm id opens only where a controller is
// present.
#pragma once

#include "libs/serilon/connection_config.h"
#include "libs/serilon/os_error.h"

namespace serilon {

// How many CAPI controllers the machine has; 0 when the CAPI library is missing or
// reports none. why gets the reason for 0.
int capiControllers(std::string& why);

// Opens an ISDN comm id with config. Fails with SERIAL_E_NO_DEVICE and a text saying
// that no ISDN controller is available when there is none, and with
// SERIAL_E_UNSUPPORTED where one is (B-channel data is not carried by this library).
OsStatus openIsdn(const ConnectionConfig& config);

} // namespace serilon
