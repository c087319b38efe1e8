// Turning operating-system failures into the library's status codes and texts.
#pragma once

#include "serilon/serilon.h"

#include <string>

namespace serilon {

// A status with the text a user reads: the device, the reason in plain words and, for
// failures the system reported, the system's own reason. err is the errno (0 if none).
struct OsStatus {
    SerialStatus status = SERIAL_OK;
    std::string text;
    int err = 0;

    bool ok() const { return status == SERIAL_OK; }
    static OsStatus success() { return {}; }
    static OsStatus make(SerialStatus status, std::string text) {
        return {status, std::move(text), 0};
    }
};

// What was being done when errno was set; open failures name the device differently
// from failures on a device that is already open.
enum class OsOperation { Open, Lock, Configure, Control, Io, Thread };

// Maps errno to a status and a text naming path. Never fails.
OsStatus osError(int err, OsOperation operation, const std::string& path);

// The group that owns path, when it is one a user can join (not root); else "dialout".
std::string deviceGroup(const std::string& path);

} // namespace serilon
