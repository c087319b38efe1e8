// The automatic baud detection against the real control and the real simulator (or a
// silent line), with real time: each try is one 500 ms tick.
#include <QTimer>

#include "app/link/baud_detect.h"
#include "app/link/exchange.h"
#include "app/link/message_pump.h"
#include "app/link/port_settings_file.h"
#include "support/pty_pair.h"
#include "support/wait.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;
using vort::dialogs::Buttons;
using vort::dialogs::Icon;

class BaudDetectTest : public TcuTest {
protected:
    // Everything the operator sees after a detection that found the scanner.
    void expectFound(const QString& settings, int port) {
        Form1& f = *form_;
        EXPECT_EQ(f.CommCtl1.settings(), settings);
        EXPECT_EQ(f.CommCtl1.commPort(), port);
        EXPECT_TRUE(f.CommCtl1.portOpen());
        EXPECT_EQ(f.CommCtl1.inputLen(), 0);
        EXPECT_TRUE(f.cmdSend->isEnabled());
        EXPECT_TRUE(f.cmdReceive->isEnabled());
        EXPECT_TRUE(f.cmdFactory->isEnabled());
        EXPECT_TRUE(f.SSTab1->isEnabled());
        EXPECT_TRUE(f.mnuauto->isEnabled());
        EXPECT_TRUE(f.mnumanual->isEnabled());
        EXPECT_TRUE(f.connectedShown());
        EXPECT_FALSE(f.form2().isVisible());
        EXPECT_FALSE(f.Timer1.isEnabled());
        EXPECT_EQ(f.sbrStatus->panelText(1),
                  "Settings: " + settings + "  Com Port: " + QString::number(port));
    }
    void TearDown() override {
        form_.reset();
        silentLine_.reset();
        portMap_.reset();
        TcuTest::TearDown();
    }
    // Port `port` leads to a line where nobody answers.
    void useSilentLine(int port) {
        silentLine_ = std::make_unique<vort::test::PtyPair>();
        portMap_ = std::make_unique<vort::test::ScopedPortMap>();
        portMap_->map(port, silentLine_->slavePath());
        useConfigHome(portMap_->configHome());
    }

    std::unique_ptr<vort::test::PtyPair> silentLine_;
    std::unique_ptr<vort::test::ScopedPortMap> portMap_;
};

TEST_F(BaudDetectTest, FindsA57600ScannerOnTheFourthTryWithoutRewritingForARateChangeAlone) {
    startSim(1, 57600);
    Form1& f = loadForm(); // no TCU.INI: the default file, port 1
    const std::string before = readFile(iniPath());
    const auto start = Clock::now();
    core().StartupDetect = 1;
    f.mnuauto_Click();
    const long long ms = msSince(start);

    expectFound("57600,N,8,1", 1);
    EXPECT_EQ(f.form2().Label3->text(), " 57600");
    EXPECT_EQ(f.form2().Label2->text(), "COM:1 at");
    // Three silent ticks of about 500 ms, then the answer.
    EXPECT_GE(ms, 1000);
    EXPECT_LE(ms, 2600);
    EXPECT_EQ(sim_->frames(), std::vector<std::string>{"\x01<TXPING:>\x04"})
        << "the pings at 9600, 19200 and 115200 never reached the scanner";
    EXPECT_EQ(readFile(iniPath()), before) << "same port, only the rate changed";
    EXPECT_EQ(core().StartupDetect, 2);
    EXPECT_EQ(core().ParityLetter, "N");
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(BaudDetectTest, RewritesTheFileWhenPortAndSettingsBothDiffer) {
    startSim(1, 57600);
    // Entries well formed but no PORTCOM: the port stays the control's (1).
    writeIni("PORTSET=19200,n,8,1;");
    Form1& f = loadForm();
    EXPECT_EQ(core().IniPortCom, "");
    dialogs_.answer(Answer::Ok, QStringLiteral("Invalid port number"));
    f.mnuauto_Click();
    expectFound("57600,N,8,1", 1);
    EXPECT_EQ(dialogs_.boxes().at(0).icon, Icon::None);
    EXPECT_EQ(dialogs_.boxes().at(0).title, "TCU1");
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=1;PORTSET=57600,N,8,1;SUPPSET=;\r\n");
    EXPECT_EQ(core().IniPortCom, "") << "the detection does not update the loaded values";
    EXPECT_EQ(core().IniPortSet, "19200,n,8,1");
}

TEST_F(BaudDetectTest, ConnectionFailedRetryRunsAWholeNewPass) {
    // The first ping is swallowed; the other rates never reach a 9600 scanner.
    startSim(1, 9600, {"--fault", "ignore 1"});
    Form1& f = loadForm();
    dialogs_.answer(Answer::Retry, QStringLiteral("Connection Failed"));
    const auto start = Clock::now();
    f.mnuauto_Click();
    const long long ms = msSince(start);
    expectFound("9600,N,8,1", 1);
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].buttons, Buttons::RetryCancel);
    EXPECT_EQ(dialogs_.boxes()[0].icon, Icon::None);
    EXPECT_EQ(sim_->frames().size(), 2u);
    EXPECT_GE(ms, 3300) << "eight tries of one tick each before the box";
    EXPECT_LE(ms, 5500);
}

TEST_F(BaudDetectTest, ConnectionFailedCancelClosesThePort) {
    useSilentLine(1);
    Form1& f = loadForm();
    f.cmdWeb->setEnabled(false);
    f.cmdRevision->setEnabled(true);
    dialogs_.answer(Answer::Cancel, QStringLiteral("Connection Failed"));
    f.mnuauto_Click();
    EXPECT_FALSE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_FALSE(f.connectedShown());
    EXPECT_FALSE(f.cmdSend->isEnabled());
    EXPECT_FALSE(f.cmdReceive->isEnabled());
    EXPECT_FALSE(f.cmdFactory->isEnabled());
    EXPECT_FALSE(f.cmdRevision->isEnabled());
    EXPECT_TRUE(f.cmdWeb->isEnabled());
    EXPECT_FALSE(f.form2().isVisible());
    EXPECT_TRUE(f.mnuauto->isEnabled());
    EXPECT_TRUE(f.mnumanual->isEnabled());
    EXPECT_TRUE(f.SSTab1->isEnabled());
    EXPECT_FALSE(f.Timer1.isEnabled());
    // The last rate tried is what the control keeps.
    EXPECT_EQ(f.form2().Label3->text(), "  1200");
}

TEST_F(BaudDetectTest, APortThatDoesNotExistIsNamedAndLeavesTheTabsDisabled) {
    vort::test::ScopedPortMap map;
    map.map(5, "/nonexistent/tty-tcu-test");
    useConfigHome(map.configHome());
    writeIni("PORTCOM=5;PORTSET=9600,n,8,1;");
    Form1& f = loadForm();
    dialogs_.answer(Answer::Ok);
    f.mnuauto_Click();

    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    const QString text = dialogs_.boxes()[0].text;
    EXPECT_TRUE(text.startsWith("Port is not available at COM:5\rYou can change the port "
                                "settings from\rPC Port Setting -> Manual Baud Setting...\r"))
        << text.toStdString();
    // The control's own reason follows, naming the device.
    EXPECT_TRUE(text.contains("/nonexistent/tty-tcu-test")) << text.toStdString();
    EXPECT_EQ(dialogs_.boxes()[0].icon, Icon::None);
    EXPECT_EQ(dialogs_.boxes()[0].buttons, Buttons::Ok);
    EXPECT_FALSE(f.CommCtl1.portOpen());
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_FALSE(f.connectedShown());
    EXPECT_FALSE(f.SSTab1->isEnabled());
    EXPECT_TRUE(f.mnuauto->isEnabled());
    EXPECT_TRUE(f.mnumanual->isEnabled());
    EXPECT_FALSE(f.form2Loaded() && f.form2().isVisible());
}

TEST_F(BaudDetectTest, ADetectionAskedForDuringAnExchangeRunsWhenItEnds) {
    startSim(1, 9600, {"--fault", "delay 500"});
    Form1& f = loadForm();
    f.CommCtl1.setCommPort(1);
    f.CommCtl1.setSettings("9600,N,8,1");
    f.CommCtl1.setPortOpen(true);
    bool detectionRanInside = false;
    QTimer::singleShot(100, &f, [&] {
        f.mnuauto->trigger();
        detectionRanInside = !f.mnuauto->isEnabled();
    });
    EXPECT_EQ(f.ExchangeCommand("<APP1RV:>"), 1);
    EXPECT_FALSE(detectionRanInside);
    EXPECT_EQ(sim_->frames().size(), 1u);
    // The deferred detection runs from the event loop once the exchange is over.
    vort::test::waitFor([&] { return sim_->frames().size() >= 2; }, 3000, PumpMessages);
    EXPECT_EQ(sim_->frames().back(), "\x01<TXPING:>\x04");
    expectFound("9600,N,8,1", 1);
}

} // namespace
} // namespace tcu::test
