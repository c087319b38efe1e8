// The program core without a window: detection, Receive, Send, setup files, identity,
// factory default and the registration key against the simulator, with a view that
// records what the core shows.
#include <QApplication>
#include <fstream>

#include "app/core/program_core.h"
#include "app/settings/setup_model.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;

// Records what the core shows, in order.
class RecordingView final : public CoreView {
public:
    void setPanelText(int panel, const QString& text) override {
        (panel == 1 ? panel1 : panel2) << text;
    }
    void showConnected(bool connected) override { events << (connected ? "open" : "closed"); }
    void setScannerButtons(bool enabled) override { events << (enabled ? "on" : "off"); }
    void detectionStarted() override { events << "started"; }
    void detectionOpened() override { events << "opened"; }
    void detectionTrying(const QString& rate, const QString& port) override {
        events << "try" + rate + " " + port;
    }
    void detectionEnded(DetectionOutcome outcome) override {
        events << "ended" + QString::number(static_cast<int>(outcome));
    }
    QStringList panel1;
    QStringList panel2;
    QStringList events;
};

class ProgramCoreTest : public TcuTest {
protected:
    // A core as tcu builds it: loaded settings, the control, a view and a setup in
    // memory.
    ProgramCore& makeCore() {
        core_ = std::make_unique<ProgramCore>();
        core_->LoadPortSettings();
        core_->createControl();
        core_->setView(&view_);
        core_->setSetup(&setup_);
        return *core_;
    }
    void TearDown() override {
        core_.reset();
        TcuTest::TearDown();
    }
    std::string value(const char* key) {
        return settings::setupValue(setup_, settings::setupKeyIndex(key));
    }

    RecordingView view_;
    settings::SetupValues setup_;
    std::unique_ptr<ProgramCore> core_;
};

TEST_F(ProgramCoreTest, FindsTheScannerReadsItAndSendsWithoutAnyWindow) {
    startSim(1, 38400);
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    ASSERT_TRUE(sim_->set("WEBSIT", "www.example.com/scanners/tc1"));
    ASSERT_TRUE(sim_->set("SERIAL", "SN0042"));
    ProgramCore& core = makeCore();

    const ProgramCore::Detection found = core.AutoBaudDetect();
    EXPECT_EQ(found.outcome, DetectionOutcome::Found);
    EXPECT_EQ(core.CommCtl1.settings(), "38400,N,8,1");
    EXPECT_EQ(core.CommCtl1.inputLen(), 0);
    EXPECT_EQ(core.StartupDetect, 1);
    EXPECT_EQ(view_.events.first(), "started");
    EXPECT_TRUE(view_.events.contains("try 38400 COM:1 at"));
    EXPECT_EQ(view_.events.last(),
              "ended" + QString::number(static_cast<int>(DetectionOutcome::Found)));
    EXPECT_EQ(view_.panel1.last(), "Settings: 38400,N,8,1  Com Port: 1");
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n")
        << "same port: the file stays";
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty()) << "no window was made";

    view_.events.clear();
    EXPECT_EQ(core.ReceiveSetup(), 1);
    EXPECT_EQ(value("RSBAUD"), "38400");
    EXPECT_EQ(core.App1RevNumber, 322);
    EXPECT_EQ(core.identity.webSite, "www.example.com/scanners/tc1\r\n") << "whole, not cut";
    EXPECT_EQ(core.identity.serialNumber, "SN0042\r\n");
    EXPECT_EQ(view_.events, QStringList({"off", "on"}));

    // A changed setting goes out with the whole setup, and the port follows new line
    // settings.
    setup_.chooseOption(settings::setupKeyIndex("SPVOLU"), 3);
    setup_.chooseOption(settings::setupKeyIndex("RSBAUD"), 4);
    EXPECT_EQ(core.SendSetup(), 1);
    EXPECT_EQ(sim_->get("SPVOLU"), "HIGH");
    EXPECT_EQ(core.CommCtl1.settings(), "19200,N,8,1");
    EXPECT_EQ(core.ReceiveSetup(), 1) << "still talking after the switch";
    EXPECT_EQ(sim_->line(), "19200,N,8,1");
}

TEST_F(ProgramCoreTest, SetupFilesRoundTripAndFailuresNameTheSystemError) {
    makeCore();
    setup_.chooseOption(settings::setupKeyIndex("CD39EN"), 0);
    setup_.setText(settings::SetupField::Prefix, "A[CR]");
    const QString path = QString::fromStdString(scratch_ + "/setup.txt");
    EXPECT_FALSE(core_->SaveSetupFile(path));
    const std::string text = readFile(path.toStdString());
    EXPECT_EQ(text.substr(0, 15), "\x01<RSBAUD=9600>\x04");
    EXPECT_EQ(text.find("RSCTSE"), std::string::npos);

    setup_ = settings::SetupValues();
    core_->setSetup(&setup_);
    EXPECT_FALSE(core_->OpenSetupFile(path));
    EXPECT_EQ(value("CD39EN"), "1");
    EXPECT_EQ(value("PREFIX"), "A[CR]");

    const std::optional<FileError> missing = core_->OpenSetupFile(path + ".none");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->number, ENOENT);
    const std::optional<FileError> noDir =
        core_->SaveSetupFile(QString::fromStdString(scratch_ + "/none/setup.txt"));
    ASSERT_TRUE(noDir);
    EXPECT_FALSE(noDir->description.isEmpty());
}

TEST_F(ProgramCoreTest, FactoryDefaultFollowsTheScannerAndTheKeyNeedsRevision322) {
    startSim(1, 19200);
    ASSERT_TRUE(sim_->set("APP1RV", "3.21"));
    ProgramCore& core = makeCore();
    ASSERT_EQ(core.AutoBaudDetect().outcome, DetectionOutcome::Found);
    EXPECT_EQ(core.ReceiveSetup(), 1);
    EXPECT_EQ(core.WriteRegistrationKey(QStringLiteral("ABC")), KeyWrite::NotSupported);

    EXPECT_EQ(core.FactoryDefault(), 1);
    EXPECT_EQ(core.CommCtl1.settings(), "9600,N,8,1");
    EXPECT_EQ(sim_->line(), "9600,N,8,1");

    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    EXPECT_EQ(core.ReadIdentity(), 1);
    EXPECT_EQ(core.WriteRegistrationKey(QStringLiteral("ABC")), KeyWrite::Written);
    EXPECT_EQ(sim_->get("REGKEY"), "ABC");
}

TEST_F(ProgramCoreTest, APortAbove6IsDetectedButNeverWrittenToTheFile) {
    startSim(9, 57600);
    writeIni("PORTCOM=2;PORTSET=9600,n,8,1;");
    ProgramCore& core = makeCore();
    const std::string before = readFile(iniPath());
    EXPECT_EQ(core.AutoBaudDetect(int16_t{9}).outcome, DetectionOutcome::Found);
    EXPECT_EQ(core.CommCtl1.commPort(), 9);
    EXPECT_EQ(readFile(iniPath()), before);

    // A port that cannot be opened: the reason comes back, the port stays closed.
    std::ofstream(sim_->portMapPath(), std::ios::app) << "COM8=" << scratch_ << "/no-such-tty\n";
    dialogs_.answer(Answer::Ok);
    const ProgramCore::Detection closed = core.AutoBaudDetect(int16_t{8});
    EXPECT_EQ(closed.outcome, DetectionOutcome::PortClosed);
    EXPECT_FALSE(closed.openError.isEmpty());
    EXPECT_EQ(view_.panel1.last(), "Settings: Closed");
}

} // namespace
} // namespace tcu::test
