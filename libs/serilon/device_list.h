// The list of serial devices the library hands out: the database's devices (the one
// unit behind device_database.h), in node order, each marked in use or not, and a path
// resolved to one of them. The ordering and matching need no database, so they are
// tested on their own. Any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "libs/serilon/device_database.h"
#include "libs/serilon/device_locks.h"

namespace serilon {

// Node order: names compared piece by piece, runs of digits by their value, so
// /dev/ttyUSB2 comes before /dev/ttyUSB10 and /dev/ttyACM0 before /dev/ttyUSB0.
bool nodeLess(std::string_view a, std::string_view b);

// Sorts devices by node (nodeLess).
void sortByNode(std::vector<DeviceRecord>& devices);

// Sets info.inUse of each device from the locks of /proc/locks and the UUCP lock files
// in lockDirs.
void markInUse(std::vector<DeviceRecord>& devices, const std::vector<LockedFile>& locks,
               const std::vector<std::string>& lockDirs);

// The device path names: its node, one of its links, or (when path exists) a path that
// leads to the node through links. nullptr when none.
const DeviceRecord* findByPath(const std::vector<DeviceRecord>& devices, const std::string& path);

// Completes the stable names from the links in dirs (by default /dev/serial/by-id, then
// /dev/serial/by-path): a link that leads to a device's node is added to its links, and
// becomes its stableName when it has none, the first folder's links first, each folder
// in name order. The database knows these links when udev made them; looking at the
// folders also finds links it does not know of (a database without them, a testbed).
void addStableLinks(std::vector<DeviceRecord>& devices, const std::vector<std::string>& dirs);
const std::vector<std::string>& stableLinkDirs();

// The devices present now, sorted and marked. False with error set when the database
// cannot be read.
bool listSerialDevices(std::vector<DeviceRecord>& out, std::string& error);

} // namespace serilon
