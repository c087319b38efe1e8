#include "app/devices/serial_device_source.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "serilon/serilon.h"

namespace tcu::devices {

namespace {

QString fieldText(const char* field, std::size_t size) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, size)));
}

DeviceInfo infoOf(const SerialDeviceInfo& d) {
    DeviceInfo info;
    info.kind = static_cast<DeviceInfo::Kind>(d.kind);
    info.inUse = d.inUse != 0;
    info.vendorId = d.vendorId;
    info.productId = d.productId;
    info.node = fieldText(d.node, sizeof d.node);
    info.stableName = fieldText(d.stableName, sizeof d.stableName);
    info.vendor = fieldText(d.vendor, sizeof d.vendor);
    info.product = fieldText(d.product, sizeof d.product);
    info.serial = fieldText(d.serial, sizeof d.serial);
    info.driver = fieldText(d.driver, sizeof d.driver);
    return info;
}

// Why the last device call of this thread failed, as the serial core words it.
QString lastDeviceError() {
    char buf[1024] = {};
    SerialDeviceErrorText(buf, sizeof buf);
    return QString::fromLocal8Bit(buf);
}

// The database answers for kernel serial nodes; other terminals it does not know.
bool isKernelSerialNode(const QString& path) {
    return path.startsWith(QLatin1String("/dev/tty")) ||
           path.startsWith(QLatin1String("/dev/rfcomm"));
}

} // namespace

SerialDeviceSource::~SerialDeviceSource() {
    notifier_.reset();
    if (watch_ != 0)
        SerialUnwatchDevices(watch_);
}

std::vector<DeviceInfo> SerialDeviceSource::list() {
    // The list may grow between the count and the read: read until it fits.
    int32_t count = 0;
    if (SerialListDevices(nullptr, 0, &count) != SERIAL_OK)
        return {};
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<SerialDeviceInfo> raw(static_cast<std::size_t>(count) + 4);
        int32_t now = 0;
        if (SerialListDevices(raw.data(), static_cast<int32_t>(raw.size()), &now) != SERIAL_OK)
            return {};
        if (now <= static_cast<int32_t>(raw.size())) {
            std::vector<DeviceInfo> devices;
            devices.reserve(static_cast<std::size_t>(now));
            for (int32_t i = 0; i < now; ++i)
                devices.push_back(infoOf(raw[static_cast<std::size_t>(i)]));
            return devices;
        }
        count = now;
    }
    return {};
}

std::optional<DeviceInfo> SerialDeviceSource::find(const QString& path) {
    SerialDeviceInfo raw{};
    if (SerialFindDevice(QFile::encodeName(path).constData(), &raw) != SERIAL_OK)
        return std::nullopt;
    return infoOf(raw);
}

bool SerialDeviceSource::present(const QString& path) {
    if (find(path))
        return true;
    const QFileInfo file(path);
    if (!file.exists())
        return false;
    return !isKernelSerialNode(file.canonicalFilePath());
}

QString SerialDeviceSource::portPath(int port) {
    char buf[4096];
    if (SerialDevicePath(port, buf, sizeof buf) != SERIAL_OK)
        return {};
    return QFile::decodeName(buf);
}

std::optional<QString> SerialDeviceSource::mapPort(int port, const QString& device) {
    if (SerialMapPort(port, QFile::encodeName(device).constData()) == SERIAL_OK)
        return std::nullopt;
    return lastDeviceError();
}

bool SerialDeviceSource::watch() {
    if (watch_ != 0)
        return true;
    const int32_t status = SerialWatchDevices(&watch_);
    if (status != SERIAL_OK) {
        watch_ = 0;
        watchError_ = lastDeviceError();
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(SerialWatchFd(watch_), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    return true;
}

void SerialDeviceSource::drain() {
    int32_t action = 0;
    SerialDeviceInfo raw{};
    while (watch_ != 0 && SerialWatchNext(watch_, &action, &raw) == SERIAL_OK) {
        const DeviceInfo info = infoOf(raw);
        raw = SerialDeviceInfo{};
        if (action == SERIAL_DEVICE_ADDED)
            emit changed(DeviceChange::Added, info);
        else if (action == SERIAL_DEVICE_REMOVED)
            emit changed(DeviceChange::Removed, info);
    }
}

} // namespace tcu::devices
