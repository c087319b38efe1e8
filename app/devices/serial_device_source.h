// The device source on the serial core's device calls (serilon/serilon.h): the device
// list and lookup through the machine's device database, the port map's paths and its
// rewrite, and the hot-plug watch, whose descriptor the owner thread's event loop
// watches (no timer runs).
//
// Owner's thread only.
#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <memory>

#include "app/devices/device_source.h"

namespace tcu::devices {

class SerialDeviceSource final : public DeviceSource {
public:
    SerialDeviceSource() = default;
    ~SerialDeviceSource() override;

    std::vector<DeviceInfo> list() override;
    std::optional<DeviceInfo> find(const QString& path) override;
    // A device the database knows at path; else any existing path that does not end at
    // a kernel serial node (/dev/tty..., /dev/rfcomm...), such as a pseudo-terminal: those
    // the database answers for.
    bool present(const QString& path) override;
    QString portPath(int port) override;
    std::optional<QString> mapPort(int port, const QString& device) override;
    bool watch() override;

private:
    // Takes every waiting event and emits changed() for each.
    void drain();

    intptr_t watch_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tcu::devices
