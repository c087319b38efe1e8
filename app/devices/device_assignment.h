// Assigning a device to a port and finding the scanner on it: what the Devices window
// runs.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "app/core/program_core.h"
#include "app/devices/device_source.h"

namespace tcu::devices {

// Ports a device can be assigned to here: the ones "TCU.INI" can keep.
inline constexpr int kFirstAssignablePort = 1;
inline constexpr int kLastAssignablePort = 6;

// Maps port (1..6) to device in the port map (its stable name when it has one). Nothing
// on success, else why not (a port outside 1..6 is refused and nothing is written).
std::optional<QString> assignDevice(ProgramCore& core, int port, const DeviceInfo& device);
// Runs the automatic detection on port. When the scanner answers, the port and its
// settings become the saved ones, as the manual window keeps them: "TCU.INI" is rewritten
// when either differs from it, and IniPortCom and IniPortSet follow.
ProgramCore::Detection detectAssigned(ProgramCore& core, int port);

} // namespace tcu::devices
