// tcu's device commands on fake devices (umockdev): ports as a table and as JSON, map
// writing the stable name, and --device reaching a device through a private map that
// leaves the user's alone.
#include "app/cli/ports_command.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/cli/command_line.h"
#include "serilon/serilon.h"
#include "support/non_regular_files.h"
#include "support/pty_pair.h"
#include "support/umockdev_testbed.h"

namespace tcu::cli {
namespace {

using vort::test::FakeSerialDevice;
using vort::test::UmockdevTestbed;

// What a call printed on out and err.
struct Printed {
    int status = -1;
    std::string out;
    std::string err;
};

template <class F> Printed capture(F f) {
    char* outText = nullptr;
    char* errText = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    Printed p;
    p.status = f(out, err);
    std::fclose(out);
    std::fclose(err);
    p.out.assign(outText, outSize);
    p.err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return p;
}

class PortsCommandTest : public ::testing::Test {
protected:
    PortsCommandTest() {
        scanner.name = "ttyUSB0";
        scanner.serial = "SCAN42";
        testbed.add(scanner);
        FakeSerialDevice uart;
        uart.kind = FakeSerialDevice::Kind::Uart;
        uart.name = "ttyS0";
        testbed.add(uart);
    }
    UmockdevTestbed testbed;
    FakeSerialDevice scanner;
    vort::test::ScopedPortMap map;
};

TEST_F(PortsCommandTest, PortsListsEveryDeviceAsATableAndAsJson) {
    Printed p = capture([](std::FILE* out, std::FILE* err) { return listPorts(false, out, err); });
    ASSERT_EQ(p.status, kExitOk) << p.err;
    const std::string byId = UmockdevTestbed::byIdName(scanner);
    EXPECT_EQ(p.out.find("NAME"), 0u) << p.out;
    const std::size_t row = p.out.find(byId);
    ASSERT_NE(row, std::string::npos) << p.out;
    const std::string line = p.out.substr(row, p.out.find('\n', row) - row);
    for (const char* part : {"FTDI FT232R USB UART", "SCAN42", "/dev/ttyUSB0", "no"})
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
    EXPECT_NE(p.out.find("/dev/ttyS0"), std::string::npos);

    p = capture([](std::FILE* out, std::FILE* err) { return listPorts(true, out, err); });
    ASSERT_EQ(p.status, kExitOk) << p.err;
    const QJsonArray devices = QJsonDocument::fromJson(QByteArray::fromStdString(p.out))
                                   .object()
                                   .value("devices")
                                   .toArray();
    ASSERT_EQ(devices.size(), 2);
    const QJsonObject first = devices.at(0).toObject();
    EXPECT_EQ(first.value("node").toString(), "/dev/ttyS0");
    EXPECT_EQ(first.value("kind").toString(), "uart");
    const QJsonObject usb = devices.at(1).toObject();
    EXPECT_EQ(usb.value("name").toString().toStdString(), byId);
    EXPECT_EQ(usb.value("vendorId").toString(), "0403");
    EXPECT_EQ(usb.value("productId").toString(), "6001");
    EXPECT_EQ(usb.value("serial").toString(), "SCAN42");
    EXPECT_EQ(usb.value("driver").toString(), "ftdi_sio");
    EXPECT_FALSE(usb.value("inUse").toBool());
}

TEST_F(PortsCommandTest, MapWritesTheStableNameAndRefusesBadOperands) {
    map.writeText("# mine\nCOM2=/dev/ttyS1\n");
    Printed p = capture([](std::FILE* out, std::FILE* err) {
        return mapPort({QStringLiteral("1"), QStringLiteral("ttyUSB0")}, out, err);
    });
    ASSERT_EQ(p.status, kExitOk) << p.err;
    const std::string byId = UmockdevTestbed::byIdName(scanner);
    EXPECT_EQ(p.out, "COM1=" + byId + "\n");
    EXPECT_EQ(vort::test::fileText(map.configHome() + "/serilon/ports.conf"),
              "# mine\nCOM2=/dev/ttyS1\nCOM1=" + byId + "\n");

    // An absent device is mapped as given, with a note.
    p = capture([](std::FILE* out, std::FILE* err) {
        return mapPort({QStringLiteral("3"), QStringLiteral("/dev/ttyUSB7")}, out, err);
    });
    EXPECT_EQ(p.status, kExitOk);
    EXPECT_EQ(p.out, "COM3=/dev/ttyUSB7\n");
    EXPECT_NE(p.err.find("no serial device is present at /dev/ttyUSB7"), std::string::npos);

    for (const char* port : {"0", "256", "x"}) {
        p = capture([&](std::FILE* out, std::FILE* err) {
            return mapPort({QString::fromLatin1(port), QStringLiteral("/dev/ttyUSB0")}, out, err);
        });
        EXPECT_EQ(p.status, kExitUsage) << port;
        EXPECT_NE(p.err.find("port number from 1 to 255"), std::string::npos) << p.err;
    }
}

TEST_F(PortsCommandTest, DeviceMapsAFreePortPrivatelyAndLeavesTheUsersMapAlone) {
    map.writeText("COM255=/dev/ttyS3\n");
    const std::string userMap = vort::test::fileText(map.configHome() + "/serilon/ports.conf");
    std::string file;
    {
        DevicePort device;
        QString error;
        const std::optional<int> port =
            device.map(QString::fromStdString(UmockdevTestbed::byIdName(scanner)), error);
        ASSERT_TRUE(port) << error.toStdString();
        EXPECT_EQ(*port, 254) << "255 is the user's";
        char path[512];
        ASSERT_EQ(SerialDevicePath(*port, path, sizeof path), SERIAL_OK);
        EXPECT_EQ(path, UmockdevTestbed::byIdName(scanner));
        ASSERT_TRUE(std::getenv("SERILON_PORT_MAP"));
        file = std::getenv("SERILON_PORT_MAP");
        EXPECT_EQ(vort::test::permissionsOf(file), 0600);
        // The port opens the fake device.
        ASSERT_EQ(SerialOpenPort(*port - 1), SERIAL_OK);
        EXPECT_EQ(SerialClosePort(*port - 1), SERIAL_OK);
    }
    EXPECT_EQ(std::getenv("SERILON_PORT_MAP"), nullptr);
    EXPECT_NE(::access(file.c_str(), F_OK), 0);
    EXPECT_EQ(vort::test::fileText(map.configHome() + "/serilon/ports.conf"), userMap);

    DevicePort absent;
    QString error;
    EXPECT_FALSE(absent.map(QStringLiteral("/dev/serial/by-id/usb-nothing"), error));
    EXPECT_NE(error.indexOf("no serial device is present at /dev/serial/by-id/usb-nothing"), -1)
        << error.toStdString();
    EXPECT_EQ(std::getenv("SERILON_PORT_MAP"), nullptr);
}

// The commands as the program runs them: the child inherits the testbed (umockdev's
// preload and UMOCKDEV_DIR).
TEST_F(PortsCommandTest, TheProgramRunsTheDeviceCommandsWithoutTheControl) {
    const char* out = std::getenv("VORT_BUILD_OUT");
    ASSERT_TRUE(out);
    auto run = [&](const std::string& args, std::string& text) {
        std::FILE* p = ::popen((std::string(out) + "/tcu " + args + " 2>&1").c_str(), "r");
        char buf[4096];
        std::size_t n;
        text.clear();
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            text.append(buf, n);
        const int status = ::pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string text;
    EXPECT_EQ(run("ports --json", text), kExitOk) << text;
    EXPECT_NE(text.find("\"serial\":\"SCAN42\""), std::string::npos) << text;
    EXPECT_EQ(run("--device /dev/serial/by-id/usb-nothing detect", text), kExitPort) << text;
    EXPECT_NE(text.find("no serial device is present at /dev/serial/by-id/usb-nothing"),
              std::string::npos)
        << text;
}

} // namespace
} // namespace tcu::cli
