// The manual port window ("Comm Port Settings") against the real control and the real
// simulator.
#include <QTimer>
#include <memory>
#include <unistd.h>

#include "app/link/baud_detect.h"
#include "app/link/port_settings_file.h"
#include "support/pty_pair.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;
using vort::dialogs::Icon;

class ManualPortTest : public TcuTest {};

TEST_F(ManualPortTest, Port2At19200OddIsOpenedPingedAndKept) {
    startSim(2, 19200);
    Form1& f = loadForm(); // default file: port 1
    f.show();
    f.setScannerButtons(false);

    // Through the menu: the window is modal; the operator's choices are made inside it.
    bool wasModal = false;
    QTimer::singleShot(0, &f, [&] {
        Form4& w = f.form4();
        wasModal = w.isVisible() && w.isModal();
        EXPECT_EQ(w.windowTitle(), "Comm Port Settings");
        EXPECT_EQ(w.Combo1->currentText(), "Com 1");
        EXPECT_EQ(w.Combo2->currentText(), "9600");
        EXPECT_EQ(w.Combo3->currentText(), "NONE");
        w.Combo1->setCurrentIndex(1);
        w.Combo2->setCurrentIndex(w.Combo2->findText("19200"));
        w.Combo3->setCurrentIndex(1);
        w.Command1->click();
    });
    f.mnumanual->trigger();

    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(f.form4().isVisible());
    EXPECT_EQ(f.CommCtl1.settings(), "19200,O,8,1");
    EXPECT_EQ(f.CommCtl1.commPort(), 2);
    EXPECT_TRUE(f.CommCtl1.portOpen());
    EXPECT_EQ(sim_->frames(), std::vector<std::string>{"\x01<TXPING:>\x04"});
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=2;PORTSET=19200,O,8,1;SUPPSET=;\r\n");
    EXPECT_EQ(core().IniPortCom, "2");
    EXPECT_EQ(core().IniPortSet, "19200,O,8,1");
    EXPECT_EQ(core().ParityLetter, "O");
    for (QPushButton* b : {f.cmdSend, f.cmdReceive, f.cmdFactory, f.cmdRevision, f.cmdWeb})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: 19200,O,8,1  Com Port: 2");
    EXPECT_TRUE(f.connectedShown());

    // A later detection opens the new port and keeps parity O for every rate.
    f.mnuauto_Click();
    EXPECT_EQ(f.CommCtl1.settings(), "19200,O,8,1");
    EXPECT_EQ(f.CommCtl1.commPort(), 2);
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=2;PORTSET=19200,O,8,1;SUPPSET=;\r\n");
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(ManualPortTest, APortThatCannotBeOpenedKeepsTheWindowUpAndTheButtonsOff) {
    vort::test::ScopedPortMap map;
    map.map(3, "/nonexistent/tty-tcu-manual");
    useConfigHome(map.configHome());
    Form1& f = loadForm();
    Form4& w = f.form4();
    w.show();
    w.Combo1->setCurrentIndex(2);
    const std::string before = readFile(iniPath());

    dialogs_.answer(Answer::Ok);
    w.Command1_Click();
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_TRUE(dialogs_.boxes()[0].text.startsWith("Port is not available"));
    EXPECT_TRUE(dialogs_.boxes()[0].text.contains("/nonexistent/tty-tcu-manual"));
    EXPECT_EQ(dialogs_.boxes()[0].icon, Icon::Exclamation);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_FALSE(f.connectedShown());
    for (QPushButton* b : {f.cmdSend, f.cmdReceive, f.cmdFactory, f.cmdRevision, f.cmdWeb})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();

    // "&Cancel" closes the window; the buttons stay off.
    w.Command2->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(f.cmdSend->isEnabled());
    EXPECT_EQ(readFile(iniPath()), before);
}

TEST_F(ManualPortTest, APingNobodyAnswersLeavesThePortOpenAndTheFileAlone) {
    vort::test::PtyPair line;
    vort::test::ScopedPortMap map;
    map.map(2, line.slavePath());
    useConfigHome(map.configHome());
    Form1& f = loadForm();
    Form4& w = f.form4();
    w.show();
    w.Combo1->setCurrentIndex(1);
    w.Combo2->setEditText("4800");
    w.Combo3->setCurrentIndex(2);
    const std::string before = readFile(iniPath());
    const auto start = Clock::now();
    w.Command1_Click();
    EXPECT_GE(msSince(start), 950);
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_TRUE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.CommCtl1.settings(), "4800,E,8,1");
    EXPECT_TRUE(f.cmdSend->isEnabled());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(readFile(iniPath()), before);
    EXPECT_EQ(core().IniPortCom, "1");

    // Open again on the same window: the toggle closes the port, which is then opened
    // once more on the choice; a refused rate text reports and leaves nothing open.
    w.show();
    w.Combo2->setEditText("fast");
    dialogs_.answer(Answer::Ok);
    w.Command1_Click();
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_TRUE(dialogs_.boxes()[0].text.startsWith("Port is not available"));
    EXPECT_FALSE(f.CommCtl1.portOpen()) << "the panel says closed, so the port is";
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_TRUE(w.isVisible());
    w.Command2_Click();
}

// The scanner is power-cycled while connected: its device path goes away and comes
// back with a new device behind it. One press of "&Open Port" closes the dead port and
// opens the one that is back, without a box.
TEST_F(ManualPortTest, OnePressReopensAfterTheDeviceCameBack) {
    auto first = std::make_unique<vort::test::PtyPair>();
    vort::test::ScopedPortMap map;
    const std::string link = map.configHome() + "/scanner";
    ASSERT_EQ(::symlink(first->slavePath().c_str(), link.c_str()), 0);
    map.map(2, link);
    useConfigHome(map.configHome());
    Form1& f = loadForm();
    Form4& w = f.form4();
    w.show();
    w.Combo1->setCurrentIndex(1);
    w.Command1_Click();
    ASSERT_TRUE(f.CommCtl1.portOpen());
    EXPECT_EQ(first->read(11, 3000), "\x01<TXPING:>\x04");

    ::unlink(link.c_str());
    first.reset();
    vort::test::PtyPair back;
    ASSERT_EQ(::symlink(back.slavePath().c_str(), link.c_str()), 0);
    w.show();
    w.Command1_Click();
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_TRUE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: 9600,N,8,1  Com Port: 2");
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(back.read(11, 3000), "\x01<TXPING:>\x04");
}

} // namespace
} // namespace tcu::test
