#include "libs/serilon/device_watch.h"

#include "libs/serilon/device_list.h"

namespace serilon {

std::unique_ptr<DeviceWatch> DeviceWatch::open(std::string& error) {
    std::unique_ptr<DeviceMonitor> monitor = openDeviceMonitor(error);
    if (!monitor) {
        return nullptr;
    }
    std::vector<DeviceRecord> present;
    if (!listSerialDevices(present, error)) {
        return nullptr;
    }
    return std::make_unique<DeviceWatch>(std::move(monitor), std::move(present));
}

DeviceWatch::DeviceWatch(std::unique_ptr<DeviceMonitor> monitor, std::vector<DeviceRecord> present)
    : monitor_(std::move(monitor)) {
    for (DeviceRecord& d : present) {
        std::string key = d.sysPath;
        known_[key] = std::move(d);
    }
}

bool DeviceWatch::next(Event& event) {
    while (monitor_->next(event)) {
        DeviceRecord& device = event.device;
        if (event.action == Action::Added) {
            std::vector<DeviceRecord> one{std::move(device)};
            addStableLinks(one, stableLinkDirs());
            markInUse(one, readProcLocks(), uucpLockDirs());
            device = std::move(one.front());
            known_[device.sysPath] = device;
            return true;
        }
        const auto it = known_.find(device.sysPath);
        if (it != known_.end()) {
            device = std::move(it->second);
            known_.erase(it);
        } else if (device.info.kind == 0) {
            continue; // a tty that was never a listed device
        }
        device.info.inUse = 0;
        return true;
    }
    return false;
}

} // namespace serilon
