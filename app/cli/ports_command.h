// tcu's device commands, on the serial core's device calls: "ports" lists the serial
// devices present, "map N DEVICE" writes the user's port map, and --device reaches a
// device through a private per-process map without touching the user's. None of them
// opens a device or needs the control. Main thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace tcu::cli {

// "tcu ports": a table of the devices present (name, maker and product, serial number,
// node, in use), or with json one object {"devices":[...]}. The exit status.
int listPorts(bool json, std::FILE* out, std::FILE* err);

// "tcu map N DEVICE": maps port N (1..255) to DEVICE (a path; a bare name such as
// "ttyUSB0" means /dev/ttyUSB0) in the user's map and prints the line written. The exit
// status.
int mapPort(const QStringList& args, std::FILE* out, std::FILE* err);

// --device PATH: the device present at PATH mapped to a free port number in a private
// map file (mode 0600, in $TMPDIR or /tmp) that SERILON_PORT_MAP names for this process.
// The file goes away, and SERILON_PORT_MAP is unset again, with the object.
class DevicePort {
public:
    DevicePort() = default;
    ~DevicePort();
    DevicePort(const DevicePort&) = delete;
    DevicePort& operator=(const DevicePort&) = delete;

    // The port number now leading to the device; nullopt with error set when no serial
    // device is present at path or the private map cannot be written.
    std::optional<int> map(const QString& path, QString& error);

private:
    std::string file_;
};

} // namespace tcu::cli
