#include "app/devices/missing_device_hint.h"

#include <QStringList>

#include "app/core/program_core.h"
#include "app/devices/device_source.h"
#include "app/link/run_time_error.h"
#include "app/link/text_numbers.h"

namespace tcu::devices {

QString missingDeviceHint(DeviceSource& source, int port) {
    const QString path = source.portPath(port);
    if (path.isEmpty() || source.present(path))
        return {};
    const QString missing = QStringLiteral("No device at COM") + QString::number(port) +
                            QStringLiteral(" (") + path + QLatin1Char(')');
    QStringList present;
    for (const DeviceInfo& device : source.list())
        present << device.shortTitle();
    if (present.isEmpty())
        return missing +
               QStringLiteral(" and no serial device is plugged in: plug in the "
                              "scanner, then ") +
               QLatin1String(kDevicesMenuPath);
    return missing + QStringLiteral(". Present: ") + present.join(QStringLiteral(", ")) +
           QStringLiteral(". Assign one with ") + QLatin1String(kDevicesMenuPath);
}

void showMissingDeviceHint(ProgramCore& core) {
    DeviceSource* source = core.deviceSource();
    if (source == nullptr)
        return;
    ErrorState err;
    bool open = false;
    int port = 0;
    err.run([&] { open = core.CommCtl1.portOpen(); });
    err.run([&] { port = core.CommCtl1.commPort(); });
    if (open)
        return;
    if (const std::optional<int16_t> saved = portNumberOf(core.IniPortCom))
        port = *saved;
    const QString hint = missingDeviceHint(*source, port);
    if (!hint.isEmpty())
        core.setPanelText(2, hint);
}

} // namespace tcu::devices
