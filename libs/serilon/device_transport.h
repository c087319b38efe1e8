// A serial device (a terminal) as a channel's transport.
#pragma once

#include "libs/serilon/transport.h"

#include <string>

namespace serilon {

// The channel's device is the terminal at path, opened exclusively (PosixDevice::open).
// Line settings, modem lines and counters are the channel's; closing lets queued output
// go out first.
class DeviceTransport : public Transport {
public:
    DeviceTransport(Channel& channel, std::string path)
        : Transport(channel), path_(std::move(path)) {}
    OsStatus open() override;
    bool isNetwork() const override { return false; }
    bool drainsOnClose() const override { return true; }

private:
    const std::string path_;
};

} // namespace serilon
