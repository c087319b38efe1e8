// tcu1 on fake USB serial devices (a umockdev testbed, the serial core's real device
// calls): a device assigned in the Devices window, pulled out and plugged in again as
// another node; a start whose saved port has no device. The scanner's side of a fake
// node is a small responder that acknowledges every frame.
#include "ack_responder.h"
#include "app/link/startup.h"
#include "devices_fixture.h"
#include "support/umockdev_testbed.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;
using vort::test::FakeSerialDevice;
using vort::test::UmockdevTestbed;

FakeSerialDevice scannerAdapter(const std::string& node) {
    FakeSerialDevice d;
    d.name = node;
    d.serial = "SCAN42";
    d.withNode = true;
    return d;
}

class DevicesOnFakeHardware : public TcuTest {
protected:
    static bool waitFor(const std::function<bool()>& pred, int timeoutMs = 10000) {
        return vort::test::waitFor(pred, timeoutMs, [] { QCoreApplication::processEvents(); });
    }
    std::string portMap() const { return configHome_ + "/serilon/ports.conf"; }

    UmockdevTestbed testbed;
};

TEST_F(DevicesOnFakeHardware, AssignedInTheDevicesWindowPulledOutAndBackAsAnotherNode) {
    const FakeSerialDevice first = scannerAdapter("ttyUSB0");
    const std::string sysPath = testbed.add(first);
    auto scanner = std::make_unique<AckResponder>(testbed.masterFd("ttyUSB0"));
    const QString byId = QString::fromStdString(UmockdevTestbed::byIdName(first));

    Form1& f = loadForm(); // the serial core's device source
    f.show();
    recordPanel2();
    DevicesWindow& w = f.devicesWindow();
    w.refresh();
    ASSERT_EQ(w.tblDevices->rowCount(), 1);
    EXPECT_EQ(w.tblDevices->item(0, DevicesWindow::ColName)->text(), byId);
    EXPECT_EQ(w.tblDevices->item(0, DevicesWindow::ColMakerProduct)->text(),
              "FTDI FT232R USB UART");
    EXPECT_EQ(w.tblDevices->item(0, DevicesWindow::ColSerial)->text(), "SCAN42");
    EXPECT_EQ(w.tblDevices->item(0, DevicesWindow::ColNode)->text(), "/dev/ttyUSB0");
    w.show();
    w.tblDevices->selectRow(0);
    w.cboPort->setCurrentIndex(0);
    w.cmdAssign_Click();
    EXPECT_NE(readFile(portMap()).find("COM1=" + byId.toStdString()), std::string::npos)
        << readFile(portMap());
    ASSERT_TRUE(f.CommCtl1.portOpen());
    EXPECT_TRUE(f.connectedShown());
    EXPECT_EQ(f.CommCtl1.settings(), "9600,N,8,1");
    EXPECT_EQ(w.tblDevices->item(0, DevicesWindow::ColInUse)->text(), "")
        << "the list was made before the port was opened";

    // Pulled out: the monitor's news turns the indicator at once.
    testbed.remove(sysPath);
    ASSERT_TRUE(waitFor([&] { return !f.connectedShown(); }));
    EXPECT_FALSE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_EQ(f.sbrStatus->panelText(2),
              "Scanner unplugged: FT232R USB UART (/dev/ttyUSB0) - plug it in again to reconnect");
    scanner.reset();

    // Back as ttyUSB1 under the same by-id name: reopened and pinged, nobody asked.
    const FakeSerialDevice again = scannerAdapter("ttyUSB1");
    testbed.add(again);
    scanner = std::make_unique<AckResponder>(testbed.masterFd("ttyUSB1"));
    ASSERT_TRUE(waitFor([&] { return f.connectedShown(); }))
        << f.sbrStatus->panelText(2).toStdString();
    ASSERT_TRUE(waitFor([&] {
        return f.sbrStatus->panelText(2) == "Scanner reconnected: FT232R USB UART (/dev/ttyUSB1)";
    })) << f.sbrStatus->panelText(2).toStdString();
    EXPECT_TRUE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.CommCtl1.commPort(), 1);
    EXPECT_EQ(f.CommCtl1.settings(), "9600,N,8,1");
    EXPECT_GE(scanner->frames(), 1);
    EXPECT_NE(readFile(portMap()).find("COM1=" + byId.toStdString()), std::string::npos);
    EXPECT_TRUE(dialogs_.boxes().empty());
    scanner.reset();
}

TEST_F(DevicesOnFakeHardware, AStartWithoutTheSavedPortsDeviceNamesThePresentOnes) {
    testbed.add(scannerAdapter("ttyUSB0"));
    writeFile(portMap(), "# the adapter it used to be\nCOM1=/dev/ttyUSB3\n");
    dialogs_.answer(Answer::Ok); // "Port is not available at COM:1 ..."
    int exitCode = -1;
    form_ = Main(&exitCode);
    ASSERT_TRUE(form_);
    Form1& f = *form_;
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_EQ(f.sbrStatus->panelText(2),
              "No device at COM1 (/dev/ttyUSB3). Present: FT232R USB UART (/dev/ttyUSB0). Assign "
              "one with PC Port Setting -> Devices...");
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_TRUE(dialogs_.boxes()[0].text.startsWith("Port is not available at COM:1"));
    EXPECT_EQ(f.form4().labPortDevice->text(), "/dev/ttyUSB3 - not present");
    f.close();
}

} // namespace
} // namespace tcu::test
