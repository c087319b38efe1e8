// The hot-plug watch the library hands out: the database's tty events (device_database.h)
// narrowed to the listed serial devices, each added device described as the list
// describes it, and each removed one with what was known of it while it was there (the
// database's removal event says little, and its links are gone by then). One watch is
// used by one thread at a time.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "libs/serilon/device_database.h"

namespace serilon {

class DeviceWatch {
public:
    using Event = DeviceMonitor::Event;
    using Action = DeviceMonitor::Action;

    // Starts watching, then learns the devices present (in that order, so none slips
    // between). nullptr with error set when the database cannot be watched or read.
    static std::unique_ptr<DeviceWatch> open(std::string& error);
    // Takes a monitor made elsewhere (tests) and the devices already present.
    DeviceWatch(std::unique_ptr<DeviceMonitor> monitor, std::vector<DeviceRecord> present);

    // The descriptor that becomes readable when an event may wait.
    int fd() const { return monitor_->fd(); }
    // Takes the next event about a listed serial device without blocking; false when
    // none waits. A removal of a device never seen is reported when its name tells its
    // kind (ttyUSB, ttyACM, rfcomm), and skipped otherwise.
    bool next(Event& event);

private:
    std::unique_ptr<DeviceMonitor> monitor_;
    std::map<std::string, DeviceRecord> known_; // by sysPath
};

} // namespace serilon
