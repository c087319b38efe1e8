#include "app/devices/device_assignment.h"

#include "app/link/run_time_error.h"
#include "app/link/text_numbers.h"

namespace tcu::devices {

std::optional<QString> assignDevice(ProgramCore& core, int port, const DeviceInfo& device) {
    DeviceSource* source = core.deviceSource();
    if (source == nullptr)
        return QStringLiteral("this program has no access to the machine's devices");
    if (port < kFirstAssignablePort || port > kLastAssignablePort)
        return QStringLiteral("only ports 1 to 6 can be assigned here");
    return source->mapPort(port, device.name());
}

ProgramCore::Detection detectAssigned(ProgramCore& core, int port) {
    ProgramCore::Detection result = core.AutoBaudDetect(static_cast<int16_t>(port));
    if (result.outcome != DetectionOutcome::Found)
        return result;
    ErrorState err;
    err.run([&] {
        const int16_t commPort = core.CommCtl1.commPort();
        const QString settings = core.CommCtl1.settings();
        if (leadingNumber(core.IniPortCom) != commPort || settings != core.IniPortSet) {
            if (core.RewritePortSettings(commPort, settings)) {
                core.IniPortCom = QString::number(commPort);
                core.IniPortSet = settings;
            }
        }
    });
    return result;
}

} // namespace tcu::devices
