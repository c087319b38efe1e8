// The device calls of libserilon on fake devices in a umockdev testbed: the list, a
// path's device, who holds one, hot-plug events, mapping a port to a device, and opening
// a fake device as a port.
#include "serilon/serilon.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "support/non_regular_files.h"
#include "support/pty_pair.h"
#include "support/umockdev_testbed.h"

using vort::test::FakeSerialDevice;
using vort::test::UmockdevTestbed;

namespace {

using Kind = FakeSerialDevice::Kind;

FakeSerialDevice usb(const std::string& name, const std::string& serial, const std::string& port) {
    FakeSerialDevice d;
    d.name = name;
    d.serial = serial;
    d.usbPort = port;
    return d;
}

FakeSerialDevice other(Kind kind, const std::string& name) {
    FakeSerialDevice d;
    d.kind = kind;
    d.name = name;
    if (kind == Kind::UsbAcm) {
        d.vendorId = 0x2341;
        d.productId = 0x0043;
        d.manufacturer = "Maker Inc";
        d.product = "Scanner ACM";
        d.serial = "ACM001";
        d.usbPort = "1-4";
    }
    return d;
}

std::vector<SerialDeviceInfo> listed() {
    int32_t count = -1;
    EXPECT_EQ(SerialListDevices(nullptr, 0, &count), SERIAL_OK);
    std::vector<SerialDeviceInfo> list(std::size_t(count > 0 ? count : 0));
    int32_t again = -1;
    EXPECT_EQ(SerialListDevices(list.data(), int32_t(list.size()), &again), SERIAL_OK);
    EXPECT_EQ(again, count);
    return list;
}

std::vector<std::string> nodes(const std::vector<SerialDeviceInfo>& list) {
    std::vector<std::string> out;
    for (const auto& d : list) {
        out.emplace_back(d.node);
    }
    return out;
}

std::string deviceError() {
    char buf[512];
    SerialDeviceErrorText(buf, sizeof buf);
    return buf;
}

// The next event of watch within timeoutMs (waiting on its descriptor); false when none.
bool nextEvent(intptr_t watch, int32_t& action, SerialDeviceInfo& info, int timeoutMs = 5000) {
    if (SerialWatchNext(watch, &action, &info) == SERIAL_OK) {
        return true;
    }
    pollfd p{SerialWatchFd(watch), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1 && SerialWatchNext(watch, &action, &info) == SERIAL_OK;
}

class SerilonDevices : public ::testing::Test {
protected:
    UmockdevTestbed testbed;
};

} // namespace

TEST_F(SerilonDevices, ListsTheSerialKindsSortedWithWhatTheDatabaseKnows) {
    EXPECT_TRUE(listed().empty());
    const FakeSerialDevice ftdi = usb("ttyUSB10", "A10K3XYZ", "1-1");
    testbed.add(ftdi);
    testbed.add(usb("ttyUSB2", "B20", "1-2"));
    const FakeSerialDevice acm = other(Kind::UsbAcm, "ttyACM0");
    testbed.add(acm);
    testbed.add(other(Kind::Uart, "ttyS0"));
    testbed.add(other(Kind::PhantomUart, "ttyS1"));
    testbed.add(other(Kind::Rfcomm, "rfcomm0"));

    const auto list = listed();
    ASSERT_EQ(nodes(list), (std::vector<std::string>{"/dev/rfcomm0", "/dev/ttyACM0", "/dev/ttyS0",
                                                     "/dev/ttyUSB2", "/dev/ttyUSB10"}));
    const SerialDeviceInfo& f = list[4];
    EXPECT_EQ(f.kind, SERIAL_DEVICE_USB_SERIAL);
    EXPECT_EQ(f.vendorId, 0x0403);
    EXPECT_EQ(f.productId, 0x6001);
    EXPECT_STREQ(f.vendor, "FTDI");
    EXPECT_STREQ(f.product, "FT232R USB UART");
    EXPECT_STREQ(f.serial, "A10K3XYZ");
    EXPECT_STREQ(f.driver, "ftdi_sio");
    EXPECT_EQ(f.stableName, UmockdevTestbed::byIdName(ftdi));
    EXPECT_EQ(f.inUse, 0);

    const SerialDeviceInfo& a = list[1];
    EXPECT_EQ(a.kind, SERIAL_DEVICE_USB_ACM);
    EXPECT_EQ(a.vendorId, 0x2341);
    EXPECT_STREQ(a.driver, "cdc_acm");
    EXPECT_EQ(a.stableName, UmockdevTestbed::byIdName(acm));

    EXPECT_EQ(list[2].kind, SERIAL_DEVICE_UART);
    EXPECT_STREQ(list[2].driver, "serial");
    EXPECT_STREQ(list[2].stableName, "");
    EXPECT_EQ(list[2].vendorId, 0);
    EXPECT_EQ(list[0].kind, SERIAL_DEVICE_RFCOMM);

    // A short list gets the first entries and the full count.
    SerialDeviceInfo two[2];
    int32_t count = 0;
    ASSERT_EQ(SerialListDevices(two, 2, &count), SERIAL_OK);
    EXPECT_EQ(count, 5);
    EXPECT_STREQ(two[1].node, "/dev/ttyACM0");

    EXPECT_EQ(SerialListDevices(nullptr, 0, nullptr), SERIAL_E_INVALID);
    EXPECT_EQ(SerialListDevices(nullptr, 3, &count), SERIAL_E_INVALID);
    EXPECT_EQ(SerialListDevices(two, -1, &count), SERIAL_E_INVALID);
    EXPECT_NE(deviceError(), "");
}

TEST_F(SerilonDevices, FindsADeviceByNodeOrStableName) {
    const FakeSerialDevice d = usb("ttyUSB0", "S1", "1-3");
    testbed.add(d);
    SerialDeviceInfo info{};
    for (const std::string& path : {std::string("/dev/ttyUSB0"), UmockdevTestbed::byIdName(d),
                                    UmockdevTestbed::byPathName(d)}) {
        info = {};
        ASSERT_EQ(SerialFindDevice(path.c_str(), &info), SERIAL_OK) << path;
        EXPECT_STREQ(info.node, "/dev/ttyUSB0");
        EXPECT_STREQ(info.serial, "S1");
    }
    EXPECT_EQ(SerialFindDevice("/dev/ttyUSB1", &info), SERIAL_E_NO_DEVICE);
    EXPECT_NE(deviceError().find("/dev/ttyUSB1"), std::string::npos);
    EXPECT_EQ(SerialFindDevice(nullptr, &info), SERIAL_E_INVALID);
    EXPECT_EQ(SerialFindDevice("/dev/ttyUSB0", nullptr), SERIAL_E_INVALID);
}

TEST_F(SerilonDevices, AnOpenPortMarksItsDeviceInUseAndTheFakeNodeCarriesData) {
    FakeSerialDevice d = usb("ttyUSB0", "S1", "1-3");
    d.withNode = true;
    testbed.add(d);
    vort::test::ScopedPortMap map;
    map.map(3, "/dev/ttyUSB0");
    ASSERT_EQ(listed().at(0).inUse, 0);
    ASSERT_EQ(SerialOpenPort(2), SERIAL_OK);
    EXPECT_EQ(listed().at(0).inUse, 1);

    const int master = testbed.masterFd("ttyUSB0");
    ASSERT_GE(master, 0);
    uint16_t taken = 0;
    ASSERT_EQ(SerialWrite(2, "ping", 4, &taken), SERIAL_OK);
    ASSERT_EQ(taken, 4);
    std::string got;
    pollfd p{master, POLLIN, 0};
    while (got.size() < 4 && ::poll(&p, 1, 5000) == 1) {
        char buf[16];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        got.append(buf, std::size_t(n));
    }
    EXPECT_EQ(got, "ping");

    ASSERT_EQ(SerialClosePort(2), SERIAL_OK);
    EXPECT_EQ(listed().at(0).inUse, 0);
}

TEST_F(SerilonDevices, TheWatchReportsAddRemoveAndAReplugUnderTheSameStableName) {
    const std::string early = testbed.add(usb("ttyUSB5", "EARLY", "1-5"));
    intptr_t watch = 0;
    ASSERT_EQ(SerialWatchDevices(&watch), SERIAL_OK);
    ASSERT_GE(SerialWatchFd(watch), 0);
    int32_t action = 0;
    SerialDeviceInfo info{};
    EXPECT_EQ(SerialWatchNext(watch, &action, &info), SERIAL_E_TIMEOUT);

    const FakeSerialDevice first = usb("ttyUSB0", "SCAN42", "1-1");
    const std::string sysPath = testbed.add(first);
    testbed.add(other(Kind::PhantomUart, "ttyS7")); // not a device: no event
    ASSERT_TRUE(nextEvent(watch, action, info));
    EXPECT_EQ(action, SERIAL_DEVICE_ADDED);
    EXPECT_STREQ(info.node, "/dev/ttyUSB0");
    EXPECT_STREQ(info.serial, "SCAN42");

    testbed.remove(sysPath);
    ASSERT_TRUE(nextEvent(watch, action, info));
    EXPECT_EQ(action, SERIAL_DEVICE_REMOVED);
    EXPECT_STREQ(info.node, "/dev/ttyUSB0");
    EXPECT_STREQ(info.serial, "SCAN42");
    EXPECT_EQ(info.stableName, UmockdevTestbed::byIdName(first));

    // Back as another node: the same serial number and by-id name.
    FakeSerialDevice again = first;
    again.name = "ttyUSB1";
    testbed.add(again);
    ASSERT_TRUE(nextEvent(watch, action, info));
    EXPECT_EQ(action, SERIAL_DEVICE_ADDED);
    EXPECT_STREQ(info.node, "/dev/ttyUSB1");
    EXPECT_EQ(info.stableName, UmockdevTestbed::byIdName(first));

    // A device present before the watch began is known at its removal.
    testbed.remove(early);
    ASSERT_TRUE(nextEvent(watch, action, info));
    EXPECT_EQ(action, SERIAL_DEVICE_REMOVED);
    EXPECT_STREQ(info.serial, "EARLY");
    EXPECT_EQ(SerialWatchNext(watch, &action, &info), SERIAL_E_TIMEOUT);

    EXPECT_EQ(SerialUnwatchDevices(watch), SERIAL_OK);
    EXPECT_EQ(SerialUnwatchDevices(watch), SERIAL_E_INVALID);
    EXPECT_EQ(SerialWatchFd(watch), -1);
    EXPECT_EQ(SerialWatchNext(watch, &action, &info), SERIAL_E_INVALID);
    EXPECT_EQ(SerialWatchDevices(nullptr), SERIAL_E_INVALID);
}

TEST_F(SerilonDevices, MappingAPortWritesTheStableNameOfAPresentDevice) {
    const FakeSerialDevice d = usb("ttyUSB0", "S1", "1-3");
    testbed.add(d);
    vort::test::ScopedPortMap map;
    map.writeText("# office scanner\nCOM1=/dev/ttyS0\nCOM2=/dev/ttyS1\n");
    const std::string file = map.configHome() + "/serilon/ports.conf";
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);

    ASSERT_EQ(SerialMapPort(1, "/dev/ttyUSB0"), SERIAL_OK) << deviceError();
    EXPECT_EQ(vort::test::fileText(file),
              "# office scanner\nCOM1=" + UmockdevTestbed::byIdName(d) + "\nCOM2=/dev/ttyS1\n");
    EXPECT_EQ(vort::test::permissionsOf(file), 0640);
    char path[256];
    ASSERT_EQ(SerialDevicePath(1, path, sizeof path), SERIAL_OK);
    EXPECT_EQ(path, UmockdevTestbed::byIdName(d));

    // An absent device is mapped as given.
    ASSERT_EQ(SerialMapPort(6, "/dev/ttyUSB9"), SERIAL_OK);
    ASSERT_EQ(SerialDevicePath(6, path, sizeof path), SERIAL_OK);
    EXPECT_STREQ(path, "/dev/ttyUSB9");

    const std::string before = vort::test::fileText(file);
    EXPECT_EQ(SerialMapPort(0, "/dev/ttyUSB0"), SERIAL_E_INVALID);
    EXPECT_EQ(SerialMapPort(256, "/dev/ttyUSB0"), SERIAL_E_INVALID);
    EXPECT_EQ(SerialMapPort(1, "ttyUSB0"), SERIAL_E_INVALID);
    EXPECT_NE(deviceError().find("not absolute"), std::string::npos);
    EXPECT_EQ(SerialMapPort(1, nullptr), SERIAL_E_INVALID);
    EXPECT_EQ(vort::test::fileText(file), before);
}
