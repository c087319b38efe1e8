// The Devices window, the manual port window's device label and the start-up hint,
// over a fake device source and the real control and simulator.
#include <QTimer>

#include "app/devices/missing_device_hint.h"
#include "devices_fixture.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;
using vort::dialogs::Icon;

class DevicesWindowTest : public DevicesTest {};

TEST_F(DevicesWindowTest, ListsTheDevicesAndFollowsThemBeingPluggedInAndOut) {
    Form1& f = loadFormWithFake();
    devices::DeviceInfo busy = adapter(QStringLiteral("/dev/ttyACM0"), QString(), QString());
    busy.vendor.clear();
    busy.product = QStringLiteral("CDC device");
    busy.inUse = true;
    fake_->devices = {busy, adapter(QStringLiteral("/dev/ttyUSB0"),
                                    QStringLiteral("/dev/serial/by-id/usb-FTDI_A1B2C3"))};
    DevicesWindow& w = f.devicesWindow();
    w.refresh();
    QTableWidget* t = w.tblDevices;
    ASSERT_EQ(t->columnCount(), 5);
    EXPECT_EQ(t->horizontalHeaderItem(0)->text(), "Name");
    EXPECT_EQ(t->horizontalHeaderItem(1)->text(), "Maker and product");
    EXPECT_EQ(t->horizontalHeaderItem(2)->text(), "Serial number");
    EXPECT_EQ(t->horizontalHeaderItem(3)->text(), "Node");
    EXPECT_EQ(t->horizontalHeaderItem(4)->text(), "In use");
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(t->item(0, 0)->text(), "/dev/ttyACM0");
    EXPECT_EQ(t->item(0, 1)->text(), "CDC device");
    EXPECT_EQ(t->item(0, 4)->text(), "in use");
    EXPECT_EQ(t->item(1, 0)->text(), "/dev/serial/by-id/usb-FTDI_A1B2C3");
    EXPECT_EQ(t->item(1, 1)->text(), "FTDI FT232R USB UART");
    EXPECT_EQ(t->item(1, 2)->text(), "A1B2C3");
    EXPECT_EQ(t->item(1, 3)->text(), "/dev/ttyUSB0");
    EXPECT_EQ(t->item(1, 4)->text(), "");
    EXPECT_FALSE(w.cmdAssign->isEnabled()) << "nothing chosen yet";
    EXPECT_EQ(w.cboPort->count(), 6);
    EXPECT_EQ(w.cboPort->itemText(5), "Com 6");

    // The choice stays on its device as others come and go.
    t->selectRow(1);
    EXPECT_TRUE(w.cmdAssign->isEnabled());
    fake_->pullOut(busy);
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(w.chosenDevice()->node, "/dev/ttyUSB0");
    fake_->pullOut(fake_->devices.front());
    EXPECT_EQ(t->rowCount(), 0);
    EXPECT_FALSE(w.cmdAssign->isEnabled());
    EXPECT_FALSE(w.labEmpty->isHidden());
    fake_->plugIn(busy);
    EXPECT_EQ(t->rowCount(), 1);
    EXPECT_TRUE(w.labEmpty->isHidden());
}

TEST_F(DevicesWindowTest, AssigningMapsThePortAndFindsTheScannerThere) {
    startSim(3, 19200);
    const QString byId = makeLink("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", sim_->devicePath());
    Form1& f = loadFormWithFake(); // TCU.INI: the default file, port 1
    fake_->setPort(1, QStringLiteral("/dev/ttyUSB9"));
    fake_->devices = {adapter(QStringLiteral("/dev/ttyUSB0"), byId)};
    f.show();

    bool wasModal = false;
    QTimer::singleShot(0, &f, [&] {
        DevicesWindow& w = f.devicesWindow();
        wasModal = w.isVisible() && w.isModal();
        w.tblDevices->selectRow(0);
        w.cboPort->setCurrentIndex(2);
        w.cmdAssign->click();
    });
    f.mnudevices->trigger();
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(f.devicesWindow().isVisible());
    EXPECT_EQ(fake_->mapped.value(3), byId) << "the stable name goes into the map";
    EXPECT_TRUE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.CommCtl1.commPort(), 3);
    EXPECT_EQ(f.CommCtl1.settings(), "19200,N,8,1");
    EXPECT_TRUE(f.cmdSend->isEnabled());
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=3;PORTSET=19200,N,8,1;SUPPSET=;\r\n");
    EXPECT_EQ(core().IniPortCom, "3");
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(DevicesWindowTest, AMapThatCannotBeWrittenIsToldAndNothingRuns) {
    Form1& f = loadFormWithFake();
    fake_->devices = {adapter(QStringLiteral("/dev/ttyUSB0"), QString())};
    fake_->mapError = QStringLiteral("the port map may not be written (permission denied)");
    DevicesWindow& w = f.devicesWindow();
    w.refresh();
    w.show();
    w.tblDevices->selectRow(0);
    w.cboPort->setCurrentIndex(1);
    dialogs_.answer(Answer::Ok);
    w.cmdAssign_Click();
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].text,
              "/dev/ttyUSB0 cannot be assigned to COM2:\rthe port map may "
              "not be written (permission denied)");
    EXPECT_EQ(dialogs_.boxes()[0].icon, Icon::Exclamation);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(f.CommCtl1.portOpen());
    EXPECT_EQ(core().StartupDetect, 0) << "no detection ran";
}

TEST_F(DevicesWindowTest, TheManualWindowShowsTheChosenPortsDeviceBesideItsUnchangedList) {
    Form1& f = loadFormWithFake();
    fake_->setPort(1, QStringLiteral("/dev/serial/by-id/usb-FTDI_A1B2C3"));
    fake_->setPort(2, QStringLiteral("/dev/ttyUSB8"));
    fake_->devices = {adapter(QStringLiteral("/dev/ttyUSB0"),
                              QStringLiteral("/dev/serial/by-id/usb-FTDI_A1B2C3"))};
    Form4& w = f.form4();
    ASSERT_EQ(w.Combo1->count(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(w.Combo1->itemText(i), QStringLiteral("Com %1").arg(i + 1));
    EXPECT_EQ(w.labPortDevice->text(), "/dev/serial/by-id/usb-FTDI_A1B2C3 - present");
    w.Combo1->setCurrentIndex(1);
    EXPECT_EQ(w.labPortDevice->text(), "/dev/ttyUSB8 - not present");
    w.Combo1->setCurrentIndex(0);
    fake_->pullOut(fake_->devices.front());
    EXPECT_EQ(w.labPortDevice->text(), "/dev/serial/by-id/usb-FTDI_A1B2C3 - not present");
}

TEST_F(DevicesWindowTest, AFailedStartBecauseTheSavedPortsDeviceIsMissingNamesWhatIsThere) {
    Form1& f = loadFormWithFake();
    fake_->setPort(1, QStringLiteral("/nonexistent/ttyUSB9"));
    fake_->devices = {adapter(QStringLiteral("/dev/ttyUSB0"), QString())};
    dialogs_.answer(Answer::Ok); // "Port is not available at COM:1 ..."
    f.mnuauto_Click();
    f.sbrStatus->setPanelText(2, QStringLiteral("TIME OUT COUNT = 3"));
    devices::showMissingDeviceHint(core());
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed") << "panel 1 keeps the line";
    EXPECT_EQ(f.sbrStatus->panelText(2),
              "No device at COM1 (/nonexistent/ttyUSB9). Present: FT232R USB UART (/dev/ttyUSB0). "
              "Assign one with PC Port Setting -> Devices...");
    EXPECT_TRUE(f.mnudevices->isEnabled());
    EXPECT_EQ(f.mnudevices->text(), "&Devices...");
}

} // namespace
} // namespace tcu::test
