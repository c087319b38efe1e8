#include "support/umockdev_testbed.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>
#include <vector>

namespace vort::test {

namespace {

constexpr const char* kUsbBus = "/devices/pci0000:00/0000:00:14.0/usb1";

std::string hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v);
    return buf;
}

std::string underscored(std::string s) {
    for (char& c : s) {
        if (c == ' ') {
            c = '_';
        }
    }
    return s;
}

bool isUsb(const FakeSerialDevice& d) {
    return d.kind == FakeSerialDevice::Kind::UsbSerial || d.kind == FakeSerialDevice::Kind::UsbAcm;
}

// The records of the tty and its parents, in umockdev's text format, tty first.
struct Records {
    std::string text;
    std::string ttyPath; // "/sys..." as the database names it
};

std::string nodeLines(const FakeSerialDevice& d, int minor) {
    const int major = d.kind == FakeSerialDevice::Kind::UsbSerial ? 188
                      : d.kind == FakeSerialDevice::Kind::UsbAcm  ? 166
                      : d.kind == FakeSerialDevice::Kind::Rfcomm  ? 216
                                                                  : 4;
    const std::string dev = std::to_string(major) + ":" + std::to_string(minor);
    std::string s = "E: DEVNAME=/dev/" + d.name +
                    "\nE: SUBSYSTEM=tty\nE: MAJOR=" + std::to_string(major) +
                    "\nE: MINOR=" + std::to_string(minor) + "\nA: dev=" + dev + "\n";
    if (d.withNode) {
        s = "N: " + d.name + "\n" + s;
    }
    return s;
}

Records recordsFor(const FakeSerialDevice& d, int minor) {
    using Kind = FakeSerialDevice::Kind;
    Records r;
    std::string links;
    if (isUsb(d)) {
        links = "S: " + UmockdevTestbed::byIdName(d).substr(5) +
                "\nS: " + UmockdevTestbed::byPathName(d).substr(5) + "\n";
    }
    const std::string usbDevice = std::string(kUsbBus) + "/" + d.usbPort;
    const std::string usbInterface = usbDevice + "/" + d.usbPort + ":1.0";
    const std::string usbDeviceRecord =
        "P: " + usbDevice +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nL: driver=../../../../../bus/usb/drivers/usb"
        "\nA: idVendor=" +
        hex4(d.vendorId) + "\nA: idProduct=" + hex4(d.productId) +
        "\nA: manufacturer=" + d.manufacturer + "\nA: product=" + d.product +
        "\nA: serial=" + d.serial + "\n";
    switch (d.kind) {
    case Kind::UsbSerial: {
        const std::string port = usbInterface + "/" + d.name;
        r.ttyPath = port + "/tty/" + d.name;
        r.text = "P: " + r.ttyPath + "\n" + nodeLines(d, minor) + links + "\nP: " + port +
                 "\nE: SUBSYSTEM=usb-serial\nL: driver=../../../../../../../bus/usb-serial/"
                 "drivers/ftdi_sio\n\nP: " +
                 usbInterface +
                 "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nL: "
                 "driver=../../../../../../bus/usb/drivers/ftdi_sio\n\n" +
                 usbDeviceRecord;
        break;
    }
    case Kind::UsbAcm:
        r.ttyPath = usbInterface + "/tty/" + d.name;
        r.text = "P: " + r.ttyPath + "\n" + nodeLines(d, minor) + links + "\nP: " + usbInterface +
                 "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nL: "
                 "driver=../../../../../../bus/usb/drivers/cdc_acm\n\n" +
                 usbDeviceRecord;
        break;
    case Kind::Uart: {
        const std::string parent = "/devices/pnp0/00:0" + std::to_string(minor % 10);
        r.ttyPath = parent + "/tty/" + d.name;
        r.text = "P: " + r.ttyPath + "\n" + nodeLines(d, minor) + "A: type=4\n\nP: " + parent +
                 "\nE: SUBSYSTEM=pnp\nL: driver=../../../bus/pnp/drivers/serial\n";
        break;
    }
    case Kind::PhantomUart:
        r.ttyPath = "/devices/platform/serial8250/tty/" + d.name;
        r.text = "P: " + r.ttyPath + "\n" + nodeLines(d, minor) +
                 "A: type=0\n\nP: /devices/platform/serial8250\nE: SUBSYSTEM=platform\nL: "
                 "driver=../../../bus/platform/drivers/serial8250\n";
        break;
    case Kind::Rfcomm:
        r.ttyPath = "/devices/virtual/tty/" + d.name;
        r.text = "P: " + r.ttyPath + "\n" + nodeLines(d, minor);
        break;
    }
    return r;
}

} // namespace

struct UmockdevTestbed::Impl {
    UMockdevTestbed* testbed = nullptr;
    int nextMinor = 0;
    std::map<std::string, std::vector<std::string>> links; // tty sysPath -> its /dev links
};

bool UmockdevTestbed::preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

UmockdevTestbed::UmockdevTestbed() {
    if (!preloaded()) {
        throw std::runtime_error("the test must run under umockdev-wrapper (umockdev_run.sh)");
    }
    impl_ = new Impl;
    impl_->testbed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(impl_->testbed);
    root_ = root;
    g_free(root);
}

UmockdevTestbed::~UmockdevTestbed() {
    g_object_unref(impl_->testbed); // removes the folder and unsets UMOCKDEV_DIR
    delete impl_;
}

std::string UmockdevTestbed::add(const FakeSerialDevice& device) {
    const Records r = recordsFor(device, impl_->nextMinor++);
    // One record at a time, parents first; a parent already there (another port of the
    // same USB device, or a device plugged back in) is kept, as umockdev refuses to add
    // a device twice.
    std::vector<std::string> records;
    for (std::size_t start = 0; start < r.text.size();) {
        std::size_t end = r.text.find("\n\n", start);
        end = end == std::string::npos ? r.text.size() : end + 1;
        records.push_back(r.text.substr(start, end - start));
        start = end + 1;
    }
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const std::string path = it->substr(3, it->find('\n') - 3);
        struct stat st {};
        if (it + 1 != records.rend() && ::stat((root_ + "/sys" + path).c_str(), &st) == 0) {
            continue;
        }
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(impl_->testbed, it->c_str(), &error)) {
            const std::string text = error ? error->message : "unknown";
            g_clear_error(&error);
            throw std::runtime_error("umockdev refused the device " + device.name + ": " + text);
        }
    }
    // umockdev sends the "add" event of each device it adds.
    const std::string sysPath = "/sys" + r.ttyPath;
    if (device.withNode && isUsb(device)) {
        impl_->links[sysPath] = {byIdName(device), byPathName(device)};
    }
    return sysPath;
}

void UmockdevTestbed::remove(const std::string& sysPath) {
    umockdev_testbed_uevent(impl_->testbed, sysPath.c_str(), "remove");
    umockdev_testbed_remove_device(impl_->testbed, sysPath.c_str());
    // umockdev leaves the device's /dev/serial links behind; udev would take them away,
    // and a device plugged back in would not get its link again.
    for (const std::string& link : impl_->links[sysPath]) {
        ::unlink((root_ + link).c_str());
    }
    impl_->links.erase(sysPath);
}

std::string UmockdevTestbed::byIdName(const FakeSerialDevice& d) {
    if (!isUsb(d)) {
        return {};
    }
    const bool usbSerial = d.kind == FakeSerialDevice::Kind::UsbSerial;
    return "/dev/serial/by-id/usb-" + underscored(d.manufacturer) + "_" + underscored(d.product) +
           "_" + d.serial + "-if00" + (usbSerial ? "-port0" : "");
}

std::string UmockdevTestbed::byPathName(const FakeSerialDevice& d) {
    if (!isUsb(d)) {
        return {};
    }
    std::string port = d.usbPort.substr(d.usbPort.find('-') + 1);
    const bool usbSerial = d.kind == FakeSerialDevice::Kind::UsbSerial;
    return "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + port + ":1.0" +
           (usbSerial ? "-port0" : "");
}

int UmockdevTestbed::masterFd(const std::string& name) const {
    return umockdev_testbed_get_dev_fd(impl_->testbed, ("/dev/" + name).c_str());
}

} // namespace vort::test
