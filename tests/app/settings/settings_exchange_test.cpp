// Send and Receive end to end: the real control on the real simulator's pseudo-terminal,
// the bytes checked at the simulator.
#include "app/identity/revision_state.h"
#include "app/settings/settings_window.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

const std::string kInitialCommand =
    "<RSBAUD=9600><RSPRTY=NONE><RSBITS=8><RSSTOP=1><RSDELY=><RSCTSE=0><SPVOLU=MEDIUM>"
    "<PREFIX=><PRECID=0><SUFFIX=><SUFFCR=0><CD39EN=0><CD39SS=0><CD128E=0><PDF417=1>"
    "<MAG1EN=1><MAG2EN=1><MAG3EN=1><MAGLRC=0><MAGRAW=0><NOREAD=0><POWSET=0><SPPOWB=1>"
    "<SPPARA=1><SERIEN=0><REGIEN=0>";

class SettingsExchangeTest : public TcuTest {
protected:
    void SetUp() override {
        TcuTest::SetUp();
        startSim(1, 9600);
        Form1& f = openPort1(QStringLiteral("9600,N,8,1"));
        f.sbrStatus->setPanelText(1, f.openPortText());
        recordPanel2();
        ASSERT_TRUE(sim_->clearFrames());
    }
    settings::SettingsWindow& w() { return form_->settingsWindow(); }
    void click(const char* name) {
        auto* b = form_->findChild<QRadioButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    bool checked(const char* name) {
        return form_->findChild<QRadioButton*>(QString::fromLatin1(name))->isChecked();
    }
    bool buttonsEnabled() {
        return form_->cmdSend->isEnabled() && form_->cmdReceive->isEnabled() &&
               form_->cmdFactory->isEnabled() && form_->cmdRevision->isEnabled() &&
               form_->cmdWeb->isEnabled();
    }
};

TEST_F(SettingsExchangeTest, SendPutsTheWholeSetupOnTheLineAndThePortFollows) {
    // The initial window: exactly the setup command, one frame, acknowledged (the empty
    // delay keeps the scanner's own); the port stays at the same settings.
    form_->cmdSend_Click();
    auto frames = sim_->frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), "\x01" + kInitialCommand + "\x04");
    EXPECT_NE(form_->sbrStatus->panelText(2), "Error in Sending");
    EXPECT_EQ(form_->CommCtl1.settings(), "9600,N,8,1");
    EXPECT_TRUE(buttonsEnabled());
    EXPECT_TRUE(panel2_.contains(QStringLiteral("Sending the setup")));

    // A delay, a bracket name and new line settings: acknowledged, the port follows.
    ASSERT_TRUE(sim_->clearFrames());
    w().Text10->setText(QStringLiteral("5"));
    w().Text2->setText(QStringLiteral("[STX]"));
    click("Option13");
    click("Option7");
    click("Option2");
    click("Option4");
    panel2_.clear();
    // The five buttons are disabled while the command is on its way.
    bool buttonsDuringSend = true;
    const std::string command = settings::setupCommand(w());
    form_->answerRules().add(
        QString::fromLatin1(command.data(), command.size()), [&](const QString&) {
            buttonsDuringSend = form_->cmdSend->isEnabled() || form_->cmdWeb->isEnabled();
        });
    form_->cmdSend_Click();
    EXPECT_FALSE(buttonsDuringSend);
    frames = sim_->frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].rfind("\x01<RSBAUD=38400><RSPRTY=EVEN><RSBITS=7><RSSTOP=2><RSDELY=005>", 0),
              0u);
    EXPECT_NE(frames[0].find("<PREFIX=[STX]><PRECID=0>"), std::string::npos);
    EXPECT_EQ(form_->sbrStatus->panelText(2), "");
    EXPECT_EQ(form_->CommCtl1.settings(), "38400,E,7,2");
    EXPECT_EQ(form_->sbrStatus->panelText(1), "Settings: 38400,E,7,2  Com Port: 1");
    EXPECT_EQ(sim_->get("RSBAUD"), "38400");
    EXPECT_EQ(sim_->get("RSDELY"), "005");
    EXPECT_EQ(sim_->get("PREFIX"), "[STX]");
    EXPECT_TRUE(buttonsEnabled());

    // The link still works at the new settings.
    EXPECT_EQ(form_->ExchangeCommand(QStringLiteral("<RSBAUD:>")), 1);

    // Unchanged RS232 choices: panel 1 is written again with the same settings.
    int panel1Writes = 0;
    QObject::connect(form_->sbrStatus, &StatusPanels::panelTextChanged, form_.get(),
                     [&](int panel, const QString&) { panel1Writes += panel == 1; });
    form_->cmdSend_Click();
    EXPECT_GE(panel1Writes, 1);
    EXPECT_EQ(form_->sbrStatus->panelText(1), "Settings: 38400,E,7,2  Com Port: 1");
}

TEST_F(SettingsExchangeTest, ReceiveShowsTheScannersSetupAndRunsTheIdentityChain) {
    ASSERT_TRUE(sim_->set("SPVOLU", "HIGH"));
    ASSERT_TRUE(sim_->set("PREFIX", "A[CR]"));
    ASSERT_TRUE(sim_->set("RSDELY", "042"));
    ASSERT_TRUE(sim_->set("MAG2EN", "0"));
    ASSERT_TRUE(sim_->set("POWSET", "1"));
    int cleared = 0, notSupported = 0, regCleared = 0;
    core().receiveIdentity.clearRevisions = [&] { ++cleared; };
    core().receiveIdentity.serialNotSupported = [&] { ++notSupported; };
    core().receiveIdentity.clearRegistrationEntry = [&] { ++regCleared; };

    // The five buttons are disabled while the answer is applied; the menus are not.
    bool buttonsDuringReceive = true, menuDuringReceive = false;
    form_->answerRules().add(QStringLiteral("<SETPAR:>"), [&](const QString&) {
        buttonsDuringReceive = form_->cmdSend->isEnabled() || form_->cmdReceive->isEnabled() ||
                               form_->cmdFactory->isEnabled() || form_->cmdRevision->isEnabled() ||
                               form_->cmdWeb->isEnabled();
        menuDuringReceive = form_->mnuopen->isEnabled();
    });
    form_->cmdReceive_Click();
    EXPECT_FALSE(buttonsDuringReceive);
    EXPECT_TRUE(menuDuringReceive);
    EXPECT_TRUE(checked("Option25"));
    EXPECT_FALSE(checked("Option24"));
    EXPECT_TRUE(checked("Option19"));
    EXPECT_TRUE(checked("Option26"));
    EXPECT_EQ(w().Text2->text(), "A[CR]");
    EXPECT_EQ(w().Text10->text(), "042");
    EXPECT_TRUE(panel2_.contains(QStringLiteral("Current Settings")));
    EXPECT_EQ(form_->sbrStatus->panelText(2), "");
    EXPECT_TRUE(buttonsEnabled());

    std::vector<std::string> tokens;
    for (const std::string& f : sim_->frames())
        tokens.push_back(f.substr(1, f.size() - 2));
    ASSERT_FALSE(tokens.empty());
    EXPECT_EQ(tokens.front(), "<SETPAR:>");
    EXPECT_EQ(cleared, 1);
    if (core().App1RevNumber > 321) {
        EXPECT_EQ(tokens,
                  (std::vector<std::string>{"<SETPAR:>", "<APP1RV:>", "<APP2RV:>", "<HARDRV:>",
                                            "<FINGER:>", "<WEBSIT:>", "<SERIAL:>", "<REGKEY:>"}));
        EXPECT_EQ(regCleared, 1);
        EXPECT_EQ(notSupported, 0);
    }
}

TEST_F(SettingsExchangeTest, IdentityChainStopsAtTheFirstFailureAndOldRevisionsSkipTheSerial) {
    std::vector<std::string> tokens;
    auto sentTokens = [&] {
        tokens.clear();
        for (const std::string& f : sim_->frames())
            tokens.push_back(f.substr(1, f.size() - 2));
        return tokens;
    };
    int regCleared = 0, notSupported = 0;
    core().receiveIdentity.clearRegistrationEntry = [&] { ++regCleared; };
    core().receiveIdentity.serialNotSupported = [&] { ++notSupported; };

    // Revision 3.21: no serial number and no registration key are asked for.
    ASSERT_TRUE(sim_->set("APP1RV", "3.21"));
    form_->cmdReceive_Click();
    EXPECT_EQ(core().App1RevNumber, 321);
    sentTokens();
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "<SERIAL:>"), 0);
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "<REGKEY:>"), 0);
    EXPECT_EQ(tokens.back(), "<WEBSIT:>");
    EXPECT_EQ(notSupported, 1);
    EXPECT_EQ(regCleared, 1);

    // "<HARDRV:>" refused three times: the chain stops with its message.
    regCleared = 0;
    ASSERT_TRUE(sim_->clearFrames());
    form_->answerRules().add(QStringLiteral("<APP2RV:>"),
                             [this](const QString&) { sim_->fault("nak 3"); });
    form_->cmdReceive_Click();
    EXPECT_EQ(form_->sbrStatus->panelText(2), "Error in Hardware Rev");
    sentTokens();
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "<FINGER:>"), 0);
    EXPECT_EQ(regCleared, 0);
    EXPECT_TRUE(buttonsEnabled());
}

TEST_F(SettingsExchangeTest, ReceiveThatIsNeverAnsweredChangesNothing) {
    sim_->stop();
    form_->cmdReceive_Click();
    EXPECT_EQ(form_->sbrStatus->panelText(2), "Error in Receiving");
    EXPECT_TRUE(checked("Option24"));
    EXPECT_TRUE(buttonsEnabled());
    form_->cmdSend_Click();
    EXPECT_EQ(form_->sbrStatus->panelText(2), "Error in Sending");
    EXPECT_EQ(form_->CommCtl1.settings(), "9600,N,8,1");
    EXPECT_TRUE(buttonsEnabled());
}

} // namespace
} // namespace tcu::test
