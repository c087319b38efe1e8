#include "libs/serilon/device_transport.h"

#include "libs/serilon/channel.h"

namespace serilon {

OsStatus DeviceTransport::open() {
    if (!channel_.readerWake_.open()) {
        return OsStatus::make(SERIAL_E_RESOURCES, "out of file descriptors while opening " + path_);
    }
    return channel_.device_.open(path_);
}

} // namespace serilon
