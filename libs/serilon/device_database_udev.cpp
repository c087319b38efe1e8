// libudev behind device_database.h. A tty is listed when it is one of the serial kinds:
// ttyUSB and ttyACM by name (with their USB parents for the ids and names), rfcomm by
// name (Bluetooth ttys are virtual devices), and any other tty that has a parent device
// with a driver, except the 8250 ports whose "type" attribute says no UART answered
// (the phantom ttyS nodes the 8250 driver registers whether or not hardware is there).
#include "libs/serilon/device_database.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <libudev.h>
#include <string_view>

namespace serilon {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
template <class T> using UdevPtr = std::unique_ptr<T, UdevDeleter>;

template <std::size_t N> void copyText(char (&field)[N], std::string_view text) {
    // An empty view may hold no pointer at all: copy only what there is.
    const std::size_t n = std::min(text.size(), N - 1);
    if (n > 0) {
        std::memcpy(field, text.data(), n);
    }
    field[n] = '\0';
}

std::string_view str(const char* s) {
    return s ? std::string_view(s) : std::string_view();
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The kind of a tty by its name and place; 0 when it is not a serial device to list.
int kindOf(udev_device* tty) {
    const std::string_view name = str(udev_device_get_sysname(tty));
    if (startsWith(name, "ttyUSB")) {
        return SERIAL_DEVICE_USB_SERIAL;
    }
    if (startsWith(name, "ttyACM")) {
        return SERIAL_DEVICE_USB_ACM;
    }
    if (startsWith(name, "rfcomm")) {
        return SERIAL_DEVICE_RFCOMM;
    }
    udev_device* parent = udev_device_get_parent(tty);
    if (!parent || !udev_device_get_driver(parent)) {
        return 0; // virtual consoles, ptmx, ttyprintk...
    }
    // 8250 ports: "type" 0 (PORT_UNKNOWN) is a node without a UART behind it.
    if (str(udev_device_get_sysattr_value(tty, "type")) == "0") {
        return 0;
    }
    return SERIAL_DEVICE_UART;
}

uint16_t hexId(const char* text) {
    if (!text) {
        return 0;
    }
    unsigned long v = 0;
    int digits = 0;
    for (const char* p = text; *p && *p != '\n'; ++p, ++digits) {
        const char c = *p;
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0 || digits >= 4) {
            return 0;
        }
        v = v * 16 + unsigned(d);
    }
    return uint16_t(v);
}

const char* firstOf(const char* a, const char* b) {
    return a && *a ? a : b;
}

// Fills record from the tty device and what the database says of its parents.
void describe(udev_device* tty, int kind, DeviceRecord& record) {
    SerialDeviceInfo& info = record.info;
    info.kind = kind;
    record.sysPath = str(udev_device_get_syspath(tty));
    copyText(info.node, str(udev_device_get_devnode(tty)));

    record.links.clear();
    for (udev_list_entry* e = udev_device_get_devlinks_list_entry(tty); e;
         e = udev_list_entry_get_next(e)) {
        record.links.emplace_back(str(udev_list_entry_get_name(e)));
    }
    std::sort(record.links.begin(), record.links.end());
    std::string_view stable;
    for (std::string_view prefix : {"/dev/serial/by-id/", "/dev/serial/by-path/"}) {
        for (const std::string& link : record.links) {
            if (stable.empty() && startsWith(link, prefix)) {
                stable = link;
            }
        }
    }
    copyText(info.stableName, stable);

    // The serial core's own port and controller devices (bus serial-base, drivers "port"
    // and "ctrl") sit between a UART's tty and the hardware's driver: look past them.
    for (udev_device* p = udev_device_get_parent(tty); p; p = udev_device_get_parent(p)) {
        if (str(udev_device_get_subsystem(p)) == "serial-base") {
            continue;
        }
        if (const char* driver = udev_device_get_driver(p)) {
            copyText(info.driver, driver);
            break;
        }
    }
    if (!info.driver[0]) {
        copyText(info.driver, str(udev_device_get_property_value(tty, "ID_USB_DRIVER")));
    }

    // The device's own strings first, then the USB database's names (hwdb properties).
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    const char* vendor = nullptr;
    const char* product = nullptr;
    const char* serial = nullptr;
    if (usb) {
        info.vendorId = hexId(udev_device_get_sysattr_value(usb, "idVendor"));
        info.productId = hexId(udev_device_get_sysattr_value(usb, "idProduct"));
        vendor = udev_device_get_sysattr_value(usb, "manufacturer");
        product = udev_device_get_sysattr_value(usb, "product");
        serial = udev_device_get_sysattr_value(usb, "serial");
    }
    if (!info.vendorId && !info.productId) {
        info.vendorId = hexId(udev_device_get_property_value(tty, "ID_VENDOR_ID"));
        info.productId = hexId(udev_device_get_property_value(tty, "ID_MODEL_ID"));
    }
    vendor = firstOf(vendor, udev_device_get_property_value(tty, "ID_VENDOR_FROM_DATABASE"));
    product = firstOf(product, udev_device_get_property_value(tty, "ID_MODEL_FROM_DATABASE"));
    serial = firstOf(serial, udev_device_get_property_value(tty, "ID_SERIAL_SHORT"));
    copyText(info.vendor, str(vendor));
    copyText(info.product, str(product));
    copyText(info.serial, str(serial));
}

int kindByName(udev_device* tty) {
    const std::string_view name = str(udev_device_get_sysname(tty));
    if (startsWith(name, "ttyUSB")) {
        return SERIAL_DEVICE_USB_SERIAL;
    }
    if (startsWith(name, "ttyACM")) {
        return SERIAL_DEVICE_USB_ACM;
    }
    if (startsWith(name, "rfcomm")) {
        return SERIAL_DEVICE_RFCOMM;
    }
    return 0;
}

// Adds the device of one tty when it is a serial device to list.
void addIfSerial(udev_device* tty, std::vector<DeviceRecord>& out) {
    if (!tty || !udev_device_get_devnode(tty)) {
        return; // gone since the scan, or no node
    }
    if (const int kind = kindOf(tty)) {
        DeviceRecord record;
        describe(tty, kind, record);
        out.push_back(std::move(record));
    }
}

bool enumerate(udev* u, std::vector<DeviceRecord>& out, std::string& error) {
    // The tty class's members by name, each then looked up in the database. The
    // database's own enumerator reads every member's whole record before it matches,
    // several times slower for the same list; it is the fallback when the class folder
    // cannot be read.
    if (DIR* dir = ::opendir("/sys/class/tty")) {
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') {
                continue;
            }
            UdevPtr<udev_device> tty(udev_device_new_from_subsystem_sysname(u, "tty", e->d_name));
            addIfSerial(tty.get(), out);
        }
        ::closedir(dir);
        return true;
    }
    UdevPtr<udev_enumerate> e(udev_enumerate_new(u));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        error = "the device database cannot be read";
        return false;
    }
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(e.get()); entry;
         entry = udev_list_entry_get_next(entry)) {
        UdevPtr<udev_device> tty(udev_device_new_from_syspath(u, udev_list_entry_get_name(entry)));
        addIfSerial(tty.get(), out);
    }
    return true;
}

class UdevMonitor final : public DeviceMonitor {
public:
    UdevMonitor(UdevPtr<udev> u, UdevPtr<udev_monitor> m)
        : udev_(std::move(u)), monitor_(std::move(m)) {}

    bool start(std::string& error) {
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_.get()) < 0) {
            error = "the device database cannot be watched";
            return false;
        }
        return true;
    }

    int fd() const override { return udev_monitor_get_fd(monitor_.get()); }

    bool next(Event& event) override {
        // The descriptor is non-blocking: receive gives nullptr when nothing waits.
        while (UdevPtr<udev_device> tty{udev_monitor_receive_device(monitor_.get())}) {
            const std::string_view action = str(udev_device_get_action(tty.get()));
            if (action == "add") {
                const int kind = kindOf(tty.get());
                if (!kind || !udev_device_get_devnode(tty.get())) {
                    continue;
                }
                event.action = Action::Added;
                event.device = DeviceRecord{};
                describe(tty.get(), kind, event.device);
                return true;
            }
            if (action == "remove") {
                event.action = Action::Removed;
                event.device = DeviceRecord{};
                describe(tty.get(), kindByName(tty.get()), event.device);
                return true;
            }
        }
        return false;
    }

private:
    UdevPtr<udev> udev_;
    UdevPtr<udev_monitor> monitor_;
};

} // namespace

bool enumerateSerialDevices(std::vector<DeviceRecord>& out, std::string& error) {
    UdevPtr<udev> u(udev_new());
    if (!u) {
        error = "the device database cannot be opened";
        return false;
    }
    return enumerate(u.get(), out, error);
}

std::unique_ptr<DeviceMonitor> openDeviceMonitor(std::string& error) {
    UdevPtr<udev> u(udev_new());
    if (!u) {
        error = "the device database cannot be opened";
        return nullptr;
    }
    UdevPtr<udev_monitor> m(udev_monitor_new_from_netlink(u.get(), "udev"));
    if (!m) {
        error = "the device database cannot be watched";
        return nullptr;
    }
    auto monitor = std::make_unique<UdevMonitor>(std::move(u), std::move(m));
    if (!monitor->start(error)) {
        return nullptr;
    }
    return monitor;
}

} // namespace serilon
