// Fake serial devices for tests, in an in-process umockdev testbed: the device database
// (libudev) sees them, with their USB parents, drivers and /dev/serial links, and a
// monitor receives their add and remove events. No root and no hardware needed.
//
// The test program must run under umockdev-wrapper (its preload library redirects /sys,
// /dev and the udev monitor into the testbed): register it with vort_umockdev_test (see
// tests/support/CMakeLists.txt), which runs it through umockdev_run.sh. Without the
// preload the constructor throws.
//
// What umockdev does here, and what a test has to allow for:
//   - a device added with a node (withNode) gets a pseudo-terminal behind its /dev path
//     and its /dev/serial links as files (the database itself has no links for it);
//     the program opens it like the device, the test talks to the other side
//     (masterFd). isatty() is false on that path, as umockdev emulates the device's
//     ioctls; the serial core opens it all the same only inside a testbed (see
//     posix_device.h).
//   - removing a device does not hang up a descriptor open on its node: removal is seen
//     from the monitor only.
//   - a node name cannot be added twice in one testbed: a replug comes back as another
//     node (ttyUSB1) with the same serial number and by-id name.
// One testbed per process at a time; its calls from one thread.
#pragma once

#include <cstdint>
#include <string>

namespace vort::test {

struct FakeSerialDevice {
    enum class Kind { UsbSerial, UsbAcm, Uart, PhantomUart, Rfcomm };
    Kind kind = Kind::UsbSerial;
    std::string name = "ttyUSB0"; // the node's name under /dev
    std::uint16_t vendorId = 0x0403;
    std::uint16_t productId = 0x6001;
    std::string manufacturer = "FTDI";
    std::string product = "FT232R USB UART";
    std::string serial = "A10K3XYZ";
    std::string usbPort = "1-1"; // USB topology: the device's place, unique per device
    // A pseudo-terminal behind /dev/<name>, and the /dev/serial links to it (umockdev
    // makes both only for a device with a node).
    bool withNode = true;
};

class UmockdevTestbed {
public:
    UmockdevTestbed(); // throws std::runtime_error when not under umockdev-wrapper
    ~UmockdevTestbed();
    UmockdevTestbed(const UmockdevTestbed&) = delete;
    UmockdevTestbed& operator=(const UmockdevTestbed&) = delete;

    // True when this process runs with umockdev's preload library.
    static bool preloaded();

    // Adds the device (and its parents) and sends its "add" event; returns the tty's
    // sysfs path, the device's identity for remove().
    std::string add(const FakeSerialDevice& device);
    // Sends the "remove" event of the device at sysPath and takes it out of the testbed.
    void remove(const std::string& sysPath);

    // The by-id name a USB device gets: /dev/serial/by-id/usb-<maker>_<product>_<serial>-if00
    // (-port0 for ttyUSB), blanks as '_'; "" for other kinds.
    static std::string byIdName(const FakeSerialDevice& device);
    // The by-path name: /dev/serial/by-path/pci-0000:00:14.0-usb-0:<port>:1.0[-port0].
    static std::string byPathName(const FakeSerialDevice& device);

    // The test's side of a device added withNode: the pseudo-terminal's master, or -1
    // (the testbed owns it). Bytes written here arrive at the device's node and back.
    int masterFd(const std::string& name) const;

    // The testbed's root folder (holds sys/ and dev/).
    const std::string& rootDir() const { return root_; }

private:
    struct Impl;
    Impl* impl_ = nullptr;
    std::string root_;
};

} // namespace vort::test
