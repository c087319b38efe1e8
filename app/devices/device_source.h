// The serial devices of this machine as the program sees them: what is plugged in, which
// device a port number maps to, assigning a device to a port, and news of devices
// plugged in or pulled out. The program core and the windows use only this interface;
// serial_device_source.h implements it on the serial core's device calls, and the tests
// give a fake.
//
// Owner's thread only: changed() is emitted from that thread's event loop (or a pump of
// its messages), never from another thread.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace tcu::devices {

// One serial device present on the machine.
struct DeviceInfo {
    enum class Kind { UsbSerial = 1, UsbAcm = 2, Uart = 3, Rfcomm = 4 };
    Kind kind = Kind::UsbSerial;
    bool inUse = false;    // another open holds it (this program's own open included)
    uint16_t vendorId = 0; // USB ids; 0 when not USB
    uint16_t productId = 0;
    QString node;       // "/dev/ttyUSB0"
    QString stableName; // "/dev/serial/by-id/..." else ".../by-path/..." else ""
    QString vendor;     // maker and product names; "" unknown
    QString product;
    QString serial; // USB serial number; "" unknown
    QString driver; // kernel driver ("ftdi_sio", "cdc_acm", ...)

    // The name the program shows: the stable name when there is one, else the node.
    QString name() const { return stableName.isEmpty() ? node : stableName; }
    // "maker product" as far as known ("" when neither is).
    QString makerAndProduct() const;
    // One line for the status bar: the product (else the maker, else "serial device")
    // and the node in brackets, e.g. "FT232R USB UART (/dev/ttyUSB0)".
    QString shortTitle() const;
    // Whether other is the same physical device seen again, maybe under another node:
    // the same stable name, or the same USB serial number of the same vendor and product.
    bool sameDeviceAs(const DeviceInfo& other) const;
};

enum class DeviceChange { Added, Removed };

class DeviceSource : public QObject {
    Q_OBJECT
public:
    ~DeviceSource() override = default;

    // The devices present, sorted by node. Empty when they cannot be listed.
    virtual std::vector<DeviceInfo> list() = 0;
    // The device present at path (its node, or a link to it such as a by-id name);
    // nothing when none is.
    virtual std::optional<DeviceInfo> find(const QString& path) = 0;
    // Whether something the port could open is at path: a device the machine's device
    // database knows, or another terminal such as a pseudo-terminal. A serial node the
    // database does not know (the phantom /dev/ttyS ports) is not present.
    virtual bool present(const QString& path) = 0;
    // The path port number port (1..255) maps to; "" for a number outside.
    virtual QString portPath(int port) = 0;
    // Maps port (1..255) to device in the user's port map (its stable name when it has
    // one). Nothing on success, else why not in words the operator can act on.
    virtual std::optional<QString> mapPort(int port, const QString& device) = 0;
    // Starts watching for devices being plugged in and pulled out: changed() follows
    // each. False with the reason in watchError() when the machine gives no such news;
    // the rest works all the same. Harmless when already watching.
    virtual bool watch() = 0;
    QString watchError() const { return watchError_; }

signals:
    // A device was plugged in (info as listed) or pulled out (what the database still
    // knew of it: node, stable name, serial number, ids).
    void changed(tcu::devices::DeviceChange change, const tcu::devices::DeviceInfo& info);

protected:
    QString watchError_;
};

// What the manual port window shows beside its port list for port (1..255): the path
// the port maps to and whether something is there, e.g. "/dev/serial/by-id/usb-X -
// present", "/dev/ttyS4 - not present"; "" for a number outside.
QString portDeviceText(DeviceSource& source, int port);

// path and every path its symbolic links lead to, in order, as far as they go: also
// when the last one no longer exists (a link to a by-id name whose device was pulled
// out still names it). Relative links are taken from the link's own directory; at most
// 16 links are followed.
QStringList linkChain(const QString& path);

} // namespace tcu::devices
