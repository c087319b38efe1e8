#include "app/cli/ports_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "app/cli/command_line.h"
#include "serilon/serilon.h"

namespace tcu::cli {

namespace {

QString deviceError() {
    char text[512];
    SerialDeviceErrorText(text, sizeof text);
    return QString::fromLocal8Bit(text);
}

void say(std::FILE* err, const QString& text) {
    std::fprintf(err, "tcu: %s\n", text.toLocal8Bit().constData());
}

const char* kindName(int kind) {
    switch (kind) {
    case SERIAL_DEVICE_USB_SERIAL:
        return "usb-serial";
    case SERIAL_DEVICE_USB_ACM:
        return "usb-acm";
    case SERIAL_DEVICE_UART:
        return "uart";
    case SERIAL_DEVICE_RFCOMM:
        return "rfcomm";
    }
    return "unknown";
}

QString hex4(uint16_t v) {
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

// The name a person knows the device by: its stable name, else its node.
QString nameOf(const SerialDeviceInfo& d) {
    return QString::fromLocal8Bit(d.stableName[0] ? d.stableName : d.node);
}

QString makerAndProduct(const SerialDeviceInfo& d) {
    const QString maker = QString::fromLocal8Bit(d.vendor);
    const QString product = QString::fromLocal8Bit(d.product);
    if (maker.isEmpty() && product.isEmpty())
        return d.vendorId || d.productId ? hex4(d.vendorId) + ':' + hex4(d.productId)
                                         : QStringLiteral("-");
    return (maker + ' ' + product).trimmed();
}

// The devices present; nullopt with the failure said.
std::optional<std::vector<SerialDeviceInfo>> devicesPresent(std::FILE* err) {
    // The list may grow between counting and reading: ask again until it fits.
    std::vector<SerialDeviceInfo> list;
    for (int attempt = 0; attempt < 4; ++attempt) {
        int32_t count = 0;
        if (SerialListDevices(list.data(), int32_t(list.size()), &count) != SERIAL_OK) {
            say(err, QStringLiteral("the serial devices cannot be listed: ") + deviceError());
            return std::nullopt;
        }
        if (std::size_t(count) <= list.size()) {
            list.resize(std::size_t(count));
            return list;
        }
        list.resize(std::size_t(count) + 4);
    }
    say(err, QStringLiteral("the serial devices kept changing while they were listed"));
    return std::nullopt;
}

} // namespace

int listPorts(bool json, std::FILE* out, std::FILE* err) {
    const auto devices = devicesPresent(err);
    if (!devices)
        return kExitPort;
    if (json) {
        QJsonArray array;
        for (const SerialDeviceInfo& d : *devices) {
            QJsonObject o;
            o.insert(QStringLiteral("name"), nameOf(d));
            o.insert(QStringLiteral("node"), QString::fromLocal8Bit(d.node));
            o.insert(QStringLiteral("stableName"), QString::fromLocal8Bit(d.stableName));
            o.insert(QStringLiteral("kind"), QString::fromLatin1(kindName(d.kind)));
            o.insert(QStringLiteral("vendorId"), d.vendorId ? hex4(d.vendorId) : QString());
            o.insert(QStringLiteral("productId"), d.productId ? hex4(d.productId) : QString());
            o.insert(QStringLiteral("vendor"), QString::fromLocal8Bit(d.vendor));
            o.insert(QStringLiteral("product"), QString::fromLocal8Bit(d.product));
            o.insert(QStringLiteral("serial"), QString::fromLocal8Bit(d.serial));
            o.insert(QStringLiteral("driver"), QString::fromLocal8Bit(d.driver));
            o.insert(QStringLiteral("inUse"), d.inUse != 0);
            array.append(o);
        }
        const QJsonObject all{{QStringLiteral("devices"), array}};
        std::fprintf(out, "%s\n", QJsonDocument(all).toJson(QJsonDocument::Compact).constData());
        return kExitOk;
    }
    if (devices->empty()) {
        say(err, QStringLiteral("no serial device is present (plug the scanner's adapter in; "
                                "tcu ports lists it then)"));
        return kExitOk;
    }
    const QStringList heads = {QStringLiteral("NAME"), QStringLiteral("MAKER AND PRODUCT"),
                               QStringLiteral("SERIAL"), QStringLiteral("NODE"),
                               QStringLiteral("IN USE")};
    std::vector<QStringList> rows{heads};
    for (const SerialDeviceInfo& d : *devices) {
        const QString serial = QString::fromLocal8Bit(d.serial);
        rows.push_back({nameOf(d), makerAndProduct(d),
                        serial.isEmpty() ? QStringLiteral("-") : serial,
                        QString::fromLocal8Bit(d.node),
                        d.inUse ? QStringLiteral("yes") : QStringLiteral("no")});
    }
    std::vector<qsizetype> widths(heads.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row.at(i).size());
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row.at(i).leftJustified(widths[std::size_t(i)] + 2)
                                       : row.at(i);
        std::fprintf(out, "%s\n", line.toLocal8Bit().constData());
    }
    return kExitOk;
}

int mapPort(const QStringList& args, std::FILE* out, std::FILE* err) {
    bool ok = false;
    const int port = args.at(0).toInt(&ok);
    if (!ok || port < 1 || port > kMaxPort) {
        say(err, QStringLiteral("map takes a port number from 1 to %1 (not \"%2\")")
                     .arg(kMaxPort)
                     .arg(args.at(0)));
        return kExitUsage;
    }
    QString device = args.at(1);
    if (!device.isEmpty() && !device.contains(QLatin1Char('/')))
        device.prepend(QStringLiteral("/dev/"));
    const QByteArray path = device.toLocal8Bit();
    SerialDeviceInfo info{};
    const bool present = SerialFindDevice(path.constData(), &info) == SERIAL_OK;
    const int32_t status = SerialMapPort(port, path.constData());
    if (status != SERIAL_OK) {
        say(err, QStringLiteral("COM%1 was not mapped: ").arg(port) + deviceError());
        return status == SERIAL_E_INVALID ? kExitUsage : kExitFile;
    }
    char written[512];
    SerialDevicePath(port, written, sizeof written);
    std::fprintf(out, "COM%d=%s\n", port, written);
    if (!present)
        say(err, QStringLiteral("note: no serial device is present at %1 now; COM%2 leads "
                                "there when one is")
                     .arg(device)
                     .arg(port));
    return kExitOk;
}

DevicePort::~DevicePort() {
    if (!file_.empty()) {
        ::unsetenv("SERILON_PORT_MAP");
        ::unlink(file_.c_str());
    }
}

std::optional<int> DevicePort::map(const QString& path, QString& error) {
    QString given = path;
    if (!given.isEmpty() && !given.contains(QLatin1Char('/')))
        given.prepend(QStringLiteral("/dev/"));
    const QByteArray device = given.toLocal8Bit();
    SerialDeviceInfo info{};
    if (SerialFindDevice(device.constData(), &info) != SERIAL_OK) {
        error = QStringLiteral("no serial device is present at %1 (tcu ports lists those "
                               "present)")
                    .arg(path);
        return std::nullopt;
    }
    // A port number the user's map leaves free (one without an entry leads to
    // /dev/ttyS<n-1>), from the top, away from the ports TCU.INI saves.
    int port = 0;
    for (int n = kMaxPort; n > kMaxSavedPort && !port; --n) {
        char mapped[512];
        if (SerialDevicePath(n, mapped, sizeof mapped) == SERIAL_OK &&
            QByteArray(mapped) == "/dev/ttyS" + QByteArray::number(n - 1))
            port = n;
    }
    if (!port) {
        error = QStringLiteral("the port map leaves no port number free for %1").arg(path);
        return std::nullopt;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/tcu-device-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error =
            QStringLiteral("the private port map cannot be made in %1: %2")
                .arg(QString::fromLocal8Bit(name.c_str()), QString::fromLocal8Bit(strerror(errno)));
        return std::nullopt;
    }
    // By its stable name when it has one, as tcu map writes it.
    const std::string line = "COM" + std::to_string(port) + "=" +
                             (info.stableName[0] ? info.stableName : info.node) + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
    ::close(fd);
    file_ = name;
    if (!written) {
        error = QStringLiteral("the private port map %1 cannot be written")
                    .arg(QString::fromLocal8Bit(name.c_str()));
        return std::nullopt;
    }
    ::setenv("SERILON_PORT_MAP", file_.c_str(), 1);
    return port;
}

} // namespace tcu::cli
