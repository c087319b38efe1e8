// What status panel 2 says when the start-up detection could not open the saved port
// because nothing is at the path it maps to: the devices that are present and the menu
// item that assigns one to a port.
#pragma once

#include <QString>

namespace tcu {
class ProgramCore;
}

namespace tcu::devices {

class DeviceSource;

// The menu path the hint names.
inline constexpr char kDevicesMenuPath[] = "PC Port Setting -> Devices...";

// "" when something is at the path port maps to (the detection failed for another
// reason). Otherwise, e.g. "No device at COM1 (/dev/ttyS0). Present: FT232R USB UART
// (/dev/ttyUSB0). Assign one with PC Port Setting -> Devices...", or, with none present,
// "No device at COM1 (/dev/ttyS0) and no serial device is plugged in: plug in the
// scanner, then PC Port Setting -> Devices...".
QString missingDeviceHint(DeviceSource& source, int port);

} // namespace tcu::devices

namespace tcu::devices {

// After the start-up detection: with the port closed, puts the hint for the saved port
// (IniPortCom; the control's port when that is no port number) on status panel 2.
// Nothing without a device source or when the hint is "".
void showMissingDeviceHint(ProgramCore& core);

} // namespace tcu::devices
