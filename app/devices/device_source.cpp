// What every device source shares: the device's names as the program shows them, and
// following a port's links to the device.
#include "app/devices/device_source.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace tcu::devices {

QString DeviceInfo::makerAndProduct() const {
    if (vendor.isEmpty())
        return product;
    if (product.isEmpty())
        return vendor;
    return vendor + QLatin1Char(' ') + product;
}

QString DeviceInfo::shortTitle() const {
    QString title = !product.isEmpty()  ? product
                    : !vendor.isEmpty() ? vendor
                                        : QStringLiteral("serial device");
    return title + QStringLiteral(" (") + node + QLatin1Char(')');
}

bool DeviceInfo::sameDeviceAs(const DeviceInfo& other) const {
    if (!stableName.isEmpty() && stableName == other.stableName)
        return true;
    return !serial.isEmpty() && serial == other.serial && vendorId == other.vendorId &&
           productId == other.productId;
}

QString portDeviceText(DeviceSource& source, int port) {
    const QString path = source.portPath(port);
    if (path.isEmpty())
        return {};
    return path +
           (source.present(path) ? QStringLiteral(" - present") : QStringLiteral(" - not present"));
}

QStringList linkChain(const QString& path) {
    QStringList chain{path};
    QString current = path;
    for (int i = 0; i < 16; ++i) {
        // Read by hand: a link whose target is gone must still say what it named.
        const QByteArray name = QFile::encodeName(current);
        QByteArray buf(4096, '\0');
        const ssize_t n = ::readlink(name.constData(), buf.data(), buf.size() - 1);
        if (n <= 0)
            break;
        buf.truncate(n);
        QString next = QFile::decodeName(buf);
        if (QDir::isRelativePath(next))
            next = QFileInfo(current).dir().filePath(next);
        current = QDir::cleanPath(next);
        if (chain.contains(current))
            break;
        chain << current;
    }
    return chain;
}

} // namespace tcu::devices
