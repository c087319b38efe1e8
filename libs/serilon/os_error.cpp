#include "libs/serilon/os_error.h"

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>

namespace serilon {

namespace {

std::string systemReason(int err) {
    char buf[256];
    // GNU strerror_r returns the text, which may or may not be buf.
    const char* text = strerror_r(err, buf, sizeof buf);
    return text ? std::string(text) : std::string("error ") + std::to_string(err);
}

} // namespace

std::string deviceGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_gid != 0) {
        struct group grp {};
        struct group* found = nullptr;
        char buf[1024];
        if (getgrgid_r(st.st_gid, &grp, buf, sizeof buf, &found) == 0 && found && found->gr_name &&
            *found->gr_name) {
            return found->gr_name;
        }
    }
    return "dialout";
}

OsStatus osError(int err, OsOperation operation, const std::string& path) {
    const std::string reason = " (" + systemReason(err) + ")";
    OsStatus result;
    result.err = err;
    switch (err) {
    case ENOENT:
        result.status = SERIAL_E_NO_DEVICE;
        result.text = path + " does not exist" + reason;
        break;
    case ENODEV:
    case ENXIO:
        result.status = SERIAL_E_NO_DEVICE;
        result.text = path + " has no device behind it" + reason;
        break;
    case EBUSY:
    case EWOULDBLOCK:
        if (operation == OsOperation::Thread) {
            result.status = SERIAL_E_RESOURCES;
            result.text = "cannot start a thread for " + path + reason;
        } else {
            result.status = SERIAL_E_BUSY;
            result.text = path + " is in use by another program" + reason;
        }
        break;
    case EACCES:
    case EPERM: {
        result.status = SERIAL_E_PERMISSION;
        const std::string group = deviceGroup(path);
        result.text = "no permission to open " + path + ": add your user to the '" + group +
                      "' group (sudo usermod -aG " + group + " $USER) and log in again" + reason;
        break;
    }
    case ENOTTY:
    case EISDIR:
        result.status = SERIAL_E_NOT_A_TTY;
        result.text = path + " is not a serial or terminal device" + reason;
        break;
    case EINVAL:
        result.status = SERIAL_E_INVALID;
        result.text = path + " does not accept this setting" + reason;
        break;
    case EIO:
        if (operation == OsOperation::Open) {
            // A /dev/ttyS<n> node without a UART behind it fails its open with EIO.
            result.status = SERIAL_E_NO_DEVICE;
            result.text = path + " has no serial hardware behind it" + reason;
        } else {
            result.status = SERIAL_E_HUNG_UP;
            result.text = path + " went away" + reason;
        }
        break;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
    case ENOSPC:
        result.status = SERIAL_E_RESOURCES;
        result.text = "out of system resources for " + path + reason;
        break;
    default:
        result.status = SERIAL_E_IO;
        result.text = "input/output failure on " + path + reason;
        break;
    }
    return result;
}

} // namespace serilon
