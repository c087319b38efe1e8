// The system's device database, the one unit that speaks to it (libudev): which serial
// devices are present, what is known of each, and the hot-plug events. Nothing here
// opens a device. The rest of the library sees only these declarations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serilon/serilon.h"

namespace serilon {

// One device as the database knows it: everything of SerialDeviceInfo but inUse, which
// the caller finds (device_locks.h), and every link to its node (the stable names among
// them) so a path can be matched without the links existing on disk.
struct DeviceRecord {
    SerialDeviceInfo info{};
    std::string sysPath;            // "/sys/devices/.../tty/ttyUSB0": the device's identity
    std::vector<std::string> links; // "/dev/serial/by-id/...", sorted
};

// The serial devices present, in the database's order. False with error set when the
// database cannot be read.
bool enumerateSerialDevices(std::vector<DeviceRecord>& out, std::string& error);

// A hot-plug monitor on the database's tty events. Any thread; one monitor is used by
// one thread at a time.
class DeviceMonitor {
public:
    enum class Action { Added, Removed };
    struct Event {
        Action action = Action::Added;
        DeviceRecord device;
    };

    virtual ~DeviceMonitor() = default;
    // The descriptor that becomes readable when an event waits; the monitor owns it.
    virtual int fd() const = 0;
    // Takes the next add or remove event of a tty without blocking; false when none
    // waits. An added device is one of the listed kinds, described as
    // enumerateSerialDevices does. A removed one carries its sysPath and what the event
    // itself still says (kind 0 when its name does not tell: the caller knows it or
    // not from earlier).
    virtual bool next(Event& event) = 0;
};

// Starts a monitor; nullptr with error set when the database cannot be watched.
std::unique_ptr<DeviceMonitor> openDeviceMonitor(std::string& error);

} // namespace serilon
