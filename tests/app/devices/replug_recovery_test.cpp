// Replug recovery against the real control and simulator: the adapter pulled out (the
// fake's removal news, or the line hanging up) and plugged in again.
#include <QDialog>
#include <QTimer>

#include "app/devices/reconnect_setting.h"
#include "devices_fixture.h"

namespace tcu::test {
namespace {

using State = devices::ReplugRecovery::State;

class ReplugTest : public DevicesTest {
protected:
    // The simulator at 9600 on COM1, reached through a by-id style link; the window
    // found it.
    Form1& connected() {
        startSim(1, 9600);
        byId_ = makeLink("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", sim_->devicePath());
        Form1& f = loadFormWithFake();
        fake_->setPort(1, byId_);
        device_ = adapter(QStringLiteral("/dev/ttyUSB0"), byId_);
        fake_->devices = {device_};
        f.show();
        recordPanel2();
        f.mnuauto_Click();
        EXPECT_TRUE(f.connectedShown());
        EXPECT_TRUE(f.CommCtl1.portOpen());
        return f;
    }
    size_t pings() {
        size_t n = 0;
        for (const std::string& frame : sim_->frames())
            n += frame == "\x01<TXPING:>\x04";
        return n;
    }
    void expectLost(Form1& f) {
        EXPECT_FALSE(f.connectedShown());
        EXPECT_FALSE(f.CommCtl1.portOpen());
        EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
        EXPECT_TRUE(f.sbrStatus->panelText(2).startsWith("Scanner unplugged: "))
            << f.sbrStatus->panelText(2).toStdString();
    }

    QString byId_;
    devices::DeviceInfo device_;
};

TEST_F(ReplugTest, PulledOutIsShownAtOnceAndTheSameAdapterBackAsAnotherNodeIsReopenedAndPinged) {
    Form1& f = connected();
    ASSERT_EQ(pings(), 1u);
    // The scanner's rate changes meanwhile: the reopen must use the settings in force.
    f.CommCtl1.setSettings(QStringLiteral("19200,N,8,1"));
    ASSERT_EQ(sim_->command("line 19200,N,8,1").rfind("ok", 0), 0u);

    removeLink(byId_);
    fake_->pullOut(device_);
    expectLost(f);
    EXPECT_EQ(f.sbrStatus->panelText(2),
              "Scanner unplugged: FT232R USB UART (/dev/ttyUSB0) - plug it in again to reconnect");
    EXPECT_EQ(recovery().state(), State::Lost);

    // Another adapter is no reason to touch the port.
    fake_->plugIn(adapter(QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/serial/by-id/other"),
                          QStringLiteral("ZZ9")));
    QCoreApplication::processEvents();
    EXPECT_EQ(recovery().state(), State::Lost);
    EXPECT_FALSE(f.CommCtl1.portOpen());

    // The same one, at another node, its by-id name back.
    makeLink("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", sim_->devicePath());
    fake_->plugIn(adapter(QStringLiteral("/dev/ttyUSB2"), byId_));
    ASSERT_TRUE(waitFor([&] { return f.connectedShown() && pings() == 2; }));
    EXPECT_TRUE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.CommCtl1.commPort(), 1);
    EXPECT_EQ(f.CommCtl1.settings(), "19200,N,8,1");
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: 19200,N,8,1  Com Port: 1");
    EXPECT_EQ(f.sbrStatus->panelText(2), "Scanner reconnected: FT232R USB UART (/dev/ttyUSB2)");
    EXPECT_TRUE(fake_->mapped.isEmpty()) << "the by-id name leads there: the map stays";
    EXPECT_EQ(recovery().state(), State::Idle);
    EXPECT_TRUE(dialogs_.boxes().empty());

    // And the link works: an exchange goes through.
    EXPECT_EQ(f.ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
}

TEST_F(ReplugTest, APortMappedToTheOldNodeIsPointedAtTheNewOne) {
    startSim(1, 9600);
    const QString oldNode = makeLink("ttyUSB0", sim_->devicePath());
    Form1& f = loadFormWithFake();
    fake_->setPort(1, oldNode);
    const devices::DeviceInfo before = adapter(oldNode, QString());
    fake_->devices = {before};
    f.mnuauto_Click();
    ASSERT_TRUE(f.CommCtl1.portOpen());

    removeLink(oldNode);
    fake_->pullOut(before);
    expectLost(f);

    const QString newNode = makeLink("ttyUSB1", sim_->devicePath());
    fake_->plugIn(adapter(newNode, QString()));
    ASSERT_TRUE(waitFor([&] { return f.connectedShown(); }));
    EXPECT_EQ(fake_->mapped.value(1), newNode);
    EXPECT_TRUE(readFile(sim_->portMapPath()).find("COM1=" + newNode.toStdString()) !=
                std::string::npos);
    EXPECT_EQ(pings(), 2u);
}

TEST_F(ReplugTest, AHangUpWithThePortsPathGoneIsAPullOutToo) {
    Form1& f = connected();
    // The pseudo-terminal goes with the simulator: the line hangs up, no removal news
    // (the database no longer knows the device, but says nothing).
    fake_->devices.clear();
    sim_.reset();
    ASSERT_TRUE(waitFor([&] { return !f.connectedShown(); }));
    expectLost(f);
    EXPECT_EQ(recovery().state(), State::Lost);
}

TEST_F(ReplugTest, SwitchedOffTheReturnIsOnlyShownAndTheChoiceIsKept) {
    Form1& f = connected();
    ASSERT_TRUE(f.mnureconnect->isChecked());
    ASSERT_TRUE(f.mnureconnect->isCheckable());
    f.mnureconnect->trigger();
    EXPECT_FALSE(f.mnureconnect->isChecked());
    EXPECT_EQ(readFile(configHome_ + "/tcu/tcu1.conf"), "ReconnectAfterReplug=0\n");
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n")
        << "TCU.INI keeps its format";

    removeLink(byId_);
    fake_->pullOut(device_);
    expectLost(f);
    EXPECT_TRUE(f.sbrStatus->panelText(2).endsWith(
        "plug it in and use PC Port Setting -> Auto Baud Detect"));
    makeLink("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", sim_->devicePath());
    fake_->plugIn(adapter(QStringLiteral("/dev/ttyUSB1"), byId_));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.CommCtl1.portOpen());
    EXPECT_EQ(pings(), 1u);
    EXPECT_EQ(recovery().state(), State::Returned);

    // Switched on again, the device that waits is taken.
    f.mnureconnect->trigger();
    ASSERT_TRUE(waitFor([&] { return f.connectedShown(); }));
    EXPECT_EQ(pings(), 2u);

    // The next start reads the choice.
    f.mnureconnect->trigger();
    form_.reset();
    Form1& again = loadFormWithFake();
    EXPECT_FALSE(again.mnureconnect->isChecked());
    EXPECT_FALSE(recovery().enabled());
}

TEST_F(ReplugTest, AModalWindowHoldsTheReopenUntilItCloses) {
    Form1& f = connected();
    QDialog box(&f);
    box.setModal(true);
    State seen = State::Idle;
    bool openWhileModal = true;
    QTimer::singleShot(0, &box, [&] {
        removeLink(byId_);
        fake_->pullOut(device_);
        makeLink("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", sim_->devicePath());
        fake_->plugIn(adapter(QStringLiteral("/dev/ttyUSB1"), byId_));
        // The posted look at the returned device runs, finds the box up, and waits.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        seen = recovery().state();
        openWhileModal = f.CommCtl1.portOpen();
        box.accept();
    });
    box.exec();
    EXPECT_EQ(seen, State::Returned);
    EXPECT_FALSE(openWhileModal);
    ASSERT_TRUE(waitFor([&] { return f.connectedShown(); }));
    EXPECT_EQ(pings(), 2u);
}

TEST_F(ReplugTest, TheUploadWindowHoldsTheReopenUntilItIsUnloaded) {
    Form1& f = connected();
    f.form3(); // an upload under way
    ASSERT_TRUE(f.form3Loaded());
    removeLink(byId_);
    fake_->pullOut(device_);
    makeLink("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", sim_->devicePath());
    fake_->plugIn(adapter(QStringLiteral("/dev/ttyUSB1"), byId_));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(recovery().state(), State::Returned);
    EXPECT_FALSE(f.CommCtl1.portOpen());

    f.unloadForm3();
    ASSERT_TRUE(waitFor([&] { return f.connectedShown(); }));
    EXPECT_EQ(pings(), 2u);
}

TEST_F(ReplugTest, APortTheOperatorOpenedMeanwhileIsLeftAlone) {
    Form1& f = connected();
    removeLink(byId_);
    fake_->pullOut(device_);
    expectLost(f);
    // The operator takes the scanner on another way (here: the same simulator, by its
    // terminal), before the adapter is back.
    fake_->setPort(1, QString::fromStdString(sim_->devicePath()));
    f.mnuauto_Click();
    ASSERT_TRUE(f.CommCtl1.portOpen());
    const size_t before = pings();
    makeLink("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", sim_->devicePath());
    fake_->plugIn(adapter(QStringLiteral("/dev/ttyUSB1"), byId_));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(recovery().state(), State::Idle);
    EXPECT_EQ(pings(), before);
}

} // namespace
} // namespace tcu::test
