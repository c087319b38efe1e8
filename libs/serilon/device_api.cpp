// The exported device calls: the list, a path's device, the hot-plug watch and the port
// map's device lines. A failure's text is kept per thread for SerialDeviceErrorText.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

#include "libs/serilon/device_list.h"
#include "libs/serilon/device_watch.h"
#include "libs/serilon/port_map.h"
#include "libs/serilon/port_map_edit.h"
#include "serilon/serilon.h"

namespace {

thread_local std::string lastDeviceError;

std::int32_t fail(std::int32_t status, std::string text) {
    lastDeviceError = std::move(text);
    return status;
}

std::int32_t ok() {
    lastDeviceError.clear();
    return SERIAL_OK;
}

// The watches handed out: a handle is a pointer to one of these, checked against the set
// so a stale or made-up handle is refused instead of followed.
struct Watches {
    std::mutex mutex;
    std::set<serilon::DeviceWatch*> live;
};

Watches& watches() {
    static Watches* w = new Watches; // never destroyed: a watch may outlive static teardown
    return *w;
}

serilon::DeviceWatch* findWatch(intptr_t handle) {
    auto* monitor = reinterpret_cast<serilon::DeviceWatch*>(handle);
    std::lock_guard lock(watches().mutex);
    return watches().live.count(monitor) ? monitor : nullptr;
}

} // namespace

extern "C" {

SERILON_API int32_t SerialListDevices(SerialDeviceInfo* list, int32_t max, int32_t* count) {
    if (!count || max < 0 || (!list && max > 0)) {
        return fail(SERIAL_E_INVALID,
                    "SerialListDevices: count must be given, and a list for max > 0");
    }
    std::vector<serilon::DeviceRecord> devices;
    std::string error;
    if (!serilon::listSerialDevices(devices, error)) {
        *count = 0;
        return fail(SERIAL_E_IO, error);
    }
    *count = std::int32_t(devices.size());
    const std::size_t n = std::min(devices.size(), std::size_t(max));
    for (std::size_t i = 0; i < n; ++i) {
        list[i] = devices[i].info;
    }
    return ok();
}

SERILON_API int32_t SerialFindDevice(const char* path, SerialDeviceInfo* info) {
    if (!path || !info || !path[0]) {
        return fail(SERIAL_E_INVALID, "SerialFindDevice: a path and an info record must be given");
    }
    std::vector<serilon::DeviceRecord> devices;
    std::string error;
    if (!serilon::listSerialDevices(devices, error)) {
        return fail(SERIAL_E_IO, error);
    }
    const serilon::DeviceRecord* found = serilon::findByPath(devices, path);
    if (!found) {
        return fail(SERIAL_E_NO_DEVICE, std::string("no serial device is present at ") + path);
    }
    *info = found->info;
    return ok();
}

SERILON_API int32_t SerialWatchDevices(intptr_t* watch) {
    if (!watch) {
        return fail(SERIAL_E_INVALID, "SerialWatchDevices: watch must be given");
    }
    std::string error;
    std::unique_ptr<serilon::DeviceWatch> monitor = serilon::DeviceWatch::open(error);
    if (!monitor) {
        return fail(SERIAL_E_IO, error);
    }
    std::lock_guard lock(watches().mutex);
    watches().live.insert(monitor.get());
    *watch = reinterpret_cast<intptr_t>(monitor.release());
    return ok();
}

SERILON_API int32_t SerialWatchFd(intptr_t watch) {
    serilon::DeviceWatch* monitor = findWatch(watch);
    return monitor ? monitor->fd() : -1;
}

SERILON_API int32_t SerialWatchNext(intptr_t watch, int32_t* action, SerialDeviceInfo* info) {
    serilon::DeviceWatch* monitor = findWatch(watch);
    if (!monitor || !action || !info) {
        return SERIAL_E_INVALID;
    }
    serilon::DeviceWatch::Event event;
    if (!monitor->next(event)) {
        return SERIAL_E_TIMEOUT;
    }
    *action = event.action == serilon::DeviceWatch::Action::Added ? SERIAL_DEVICE_ADDED
                                                                  : SERIAL_DEVICE_REMOVED;
    *info = event.device.info;
    return SERIAL_OK;
}

SERILON_API int32_t SerialUnwatchDevices(intptr_t watch) {
    auto* monitor = reinterpret_cast<serilon::DeviceWatch*>(watch);
    {
        std::lock_guard lock(watches().mutex);
        if (!watches().live.erase(monitor)) {
            return SERIAL_E_INVALID;
        }
    }
    delete monitor;
    return SERIAL_OK;
}

SERILON_API int32_t SerialMapPort(int32_t portNumber, const char* device) {
    if (!device) {
        return fail(SERIAL_E_INVALID, "SerialMapPort: a device path must be given");
    }
    std::string path = device;
    // The stable name survives replugging and renumbering: prefer it when the device is
    // here to ask. An absent device is mapped by the path as given.
    std::vector<serilon::DeviceRecord> devices;
    std::string error;
    if (serilon::mapPathProblem(path).empty() && serilon::listSerialDevices(devices, error)) {
        if (const serilon::DeviceRecord* found = serilon::findByPath(devices, path)) {
            if (found->info.stableName[0]) {
                path = found->info.stableName;
            }
        }
    }
    switch (serilon::writePortMapEntry(serilon::portMapPath(), portNumber, path, error)) {
    case serilon::MapWrite::Written:
        return ok();
    case serilon::MapWrite::Invalid:
        return fail(SERIAL_E_INVALID, error);
    case serilon::MapWrite::Permission:
        return fail(SERIAL_E_PERMISSION, error);
    case serilon::MapWrite::Failed:
        break;
    }
    return fail(SERIAL_E_IO, error);
}

SERILON_API int32_t SerialDeviceErrorText(char* buf, int32_t size) {
    const std::string& text = lastDeviceError;
    if (buf && size > 0) {
        const std::size_t n = std::min(text.size(), std::size_t(size) - 1);
        std::memcpy(buf, text.data(), n);
        buf[n] = '\0';
    }
    return std::int32_t(text.size());
}

} // extern "C"
