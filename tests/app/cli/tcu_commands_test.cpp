// Every tcu command as a process against the simulator on a pseudo-terminal at a rate
// other than 9600: data on stdout, messages on stderr, the exit status, and what the
// scanner saw. Setup files go between tcu and tcu1's window both ways.
#include <QProcess>
#include <csignal>
#include <fstream>

#include "app/settings/settings_window.h"
#include "support/wait.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

struct TcuRun {
    int status = -1; // the exit status; -1 when it did not end normally
    std::string out;
    std::string err;
};

class TcuCommandsTest : public TcuTest {
protected:
    // Runs tcu with args; its standard input is an empty pipe (no terminal).
    TcuRun tcu(const QStringList& args) {
        QProcess p;
        p.setProgram(QString::fromStdString(buildOut() + "/tcu"));
        p.setArguments(args);
        p.start();
        p.closeWriteChannel();
        TcuRun run;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "tcu did not end";
            return run;
        }
        run.out = p.readAllStandardOutput().toStdString();
        run.err = p.readAllStandardError().toStdString();
        if (p.exitStatus() == QProcess::NormalExit)
            run.status = p.exitCode();
        return run;
    }
    static QStringList at(int baud, QStringList rest) {
        return QStringList({QStringLiteral("--baud"), QString::number(baud)}) + rest;
    }
    // Every frame the scanner saw, joined.
    std::string framesSeen() {
        std::string all;
        for (const std::string& f : sim_->frames())
            all += f;
        return all;
    }
    bool contains(const std::string& text, const char* part) {
        return text.find(part) != std::string::npos;
    }
    QString image(const char* name, const std::string& version, size_t bodySize) {
        const std::string path = scratch_ + "/" + name;
        writeFile(path, vort::test::firmwareImage(version, bodySize));
        return QString::fromStdString(path);
    }
};

TEST_F(TcuCommandsTest, DetectFindsTheScannerAndKeepsTheFileRulesOfTcu1) {
    startSim(1, 38400);
    TcuRun r = tcu({QStringLiteral("detect")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "port=1\ndevice=" + sim_->devicePath() + "\nsettings=38400,N,8,1\n");
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n")
        << "same port, only the rate changed: tcu1 keeps the file as it is";

    r = tcu({QStringLiteral("--json"), QStringLiteral("detect")});
    EXPECT_EQ(r.out, "{\"port\":\"1\",\"device\":\"" + sim_->devicePath() +
                         "\",\"settings\":\"38400,N,8,1\"}\n");
}

TEST_F(TcuCommandsTest, DetectOnAPortAbove6SaysItIsNotSavedAndAMissingPortIsStatus3) {
    startSim(9, 19200);
    writeIni("PORTCOM=2;PORTSET=9600,n,8,1;");
    TcuRun r = tcu({QStringLiteral("--port"), QStringLiteral("9"), QStringLiteral("detect")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "settings=19200,N,8,1"));
    EXPECT_TRUE(contains(r.err, "COM9 is not saved")) << r.err;
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=2;PORTSET=9600,n,8,1;");

    std::ofstream(sim_->portMapPath(), std::ios::app) << "COM4=" << scratch_ << "/no-such-tty\n";
    r = tcu({QStringLiteral("--port"), QStringLiteral("4"), QStringLiteral("detect")});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "Port is not available at COM:4")) << r.err;
    EXPECT_TRUE(contains(r.err, "no-such-tty")) << "the reason names the device: " << r.err;
    r = tcu({QStringLiteral("--quiet"), QStringLiteral("--port"), QStringLiteral("4"),
             QStringLiteral("detect")});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "cannot open COM4")) << "quiet keeps errors: " << r.err;
    EXPECT_TRUE(contains(r.err, "no-such-tty")) << r.err;
    r = tcu(at(19200, {QStringLiteral("--port"), QStringLiteral("4"), QStringLiteral("get")}));
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "cannot open COM4")) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(TcuCommandsTest, InfoPrintsTheWholeIdentityAndNotSupportedBefore322) {
    startSim(1, 57600);
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    ASSERT_TRUE(sim_->set("WEBSIT", "www.example.com/scanners/tc1"));
    ASSERT_TRUE(sim_->set("SERIAL", "SN0042"));
    ASSERT_TRUE(sim_->set("REGKEY", "KEY-1"));
    TcuRun r = tcu(at(57600, {QStringLiteral("info")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "web_site=www.example.com/scanners/tc1\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "serial_number=SN0042\nregistration_key=KEY-1\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "application1=3.22")) << r.out;

    ASSERT_TRUE(sim_->set("APP1RV", "3.21"));
    ASSERT_TRUE(sim_->clearFrames());
    r = tcu(at(57600, {QStringLiteral("--json"), QStringLiteral("info")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "\"serial_number\":\"NOT SUPPORTED\"")) << r.out;
    EXPECT_FALSE(contains(framesSeen(), "<SERIAL:>"));
}

TEST_F(TcuCommandsTest, GetPrintsTheSetupAndRefusesUnknownNames) {
    startSim(1, 38400);
    ASSERT_TRUE(sim_->set("SPVOLU", "HIGH"));
    TcuRun r = tcu(at(38400, {QStringLiteral("get")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 26);
    EXPECT_EQ(r.out.substr(0, 13), "RSBAUD=38400\n");
    EXPECT_TRUE(contains(r.out, "\nSPVOLU=HIGH\n"));

    r = tcu(at(38400, {QStringLiteral("--json"), QStringLiteral("get"), QStringLiteral("spvolu"),
                       QStringLiteral("RSBAUD")}));
    EXPECT_EQ(r.out, "{\"RSBAUD\":\"38400\",\"SPVOLU\":\"HIGH\"}\n") << "vocabulary order";

    ASSERT_TRUE(sim_->clearFrames());
    r = tcu(at(38400, {QStringLiteral("get"), QStringLiteral("NOSUCH")}));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(sim_->frames().empty()) << "nothing is asked for a wrong name";
}

TEST_F(TcuCommandsTest, SetSendsTheWholeSetupFollowsTheRateAndSendsNothingForAWrongPair) {
    startSim(1, 38400);
    ASSERT_TRUE(sim_->set("SUFFCR", "1"));
    TcuRun r = tcu(at(38400, {QStringLiteral("set"), QStringLiteral("RSPRTY=NONE"),
                              QStringLiteral("RSDELY=7"), QStringLiteral("PREFIX=A[CR]")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim_->get("RSDELY"), "007");
    EXPECT_EQ(sim_->get("PREFIX"), "A[CR]");
    EXPECT_EQ(sim_->get("SUFFCR"), "1") << "settings not named keep the scanner's value";

    ASSERT_TRUE(sim_->clearFrames());
    r = tcu(at(38400, {QStringLiteral("set"), QStringLiteral("SPVOLU=LOW"),
                       QStringLiteral("RSBAUD=300")}));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "RSBAUD takes 1200, 2400, 4800, 9600")) << r.err;
    EXPECT_TRUE(sim_->frames().empty());
    EXPECT_EQ(sim_->get("SPVOLU"), "MEDIUM");

    // New line settings: scanner and port move together, and the scanner answers there.
    r = tcu(at(38400, {QStringLiteral("set"), QStringLiteral("RSBAUD=19200")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "follows the scanner to 19200,N,8,1")) << r.err;
    EXPECT_EQ(sim_->line(), "19200,N,8,1");
    EXPECT_EQ(tcu(at(19200, {QStringLiteral("get"), QStringLiteral("RSBAUD")})).out,
              "RSBAUD=19200\n");
}

TEST_F(TcuCommandsTest, NaksAndSilenceAreStatus1WithTheFailureNamed) {
    startSim(1, 38400);
    ASSERT_TRUE(sim_->fault("nak 3"));
    TcuRun r = tcu(at(38400, {QStringLiteral("get")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Error in Receiving")) << r.err;
    EXPECT_EQ(r.out, "");

    ASSERT_TRUE(sim_->fault("nak 3"));
    r = tcu(at(38400, {QStringLiteral("factory")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Error in Sending Defaults")) << r.err;
    EXPECT_EQ(sim_->line(), "38400,N,8,1");

    // The wrong rate: the scanner hears nothing it understands.
    r = tcu(at(9600, {QStringLiteral("info")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Error in App1 Rev")) << r.err;

    // No rate answers: the detection gives up without a terminal to ask Retry.
    ASSERT_TRUE(sim_->fault("ignore 1000"));
    r = tcu({QStringLiteral("detect")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Connection Failed Cancel (no terminal to ask)")) << r.err;
    EXPECT_TRUE(contains(r.err, "no answer from the scanner on COM1")) << r.err;
    ASSERT_TRUE(sim_->fault("clear"));
}

TEST_F(TcuCommandsTest, FactoryAndRegistrationKey) {
    startSim(1, 57600);
    ASSERT_TRUE(sim_->set("APP1RV", "3.21"));
    TcuRun r = tcu(at(57600, {QStringLiteral("regkey"), QStringLiteral("ABC")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "has no registration key")) << r.err;
    EXPECT_FALSE(contains(framesSeen(), "<REGKEY=")) << "nothing sent below 3.22";

    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    r = tcu(at(57600, {QStringLiteral("regkey"), QStringLiteral("ABC")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim_->get("REGKEY"), "ABC");

    r = tcu(at(57600, {QStringLiteral("factory")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim_->line(), "9600,N,8,1");
    EXPECT_TRUE(contains(r.err, "9600,N,8,1")) << r.err;
}

TEST_F(TcuCommandsTest, SetupFilesGoBetweenTcuAndTheWindowBothWays) {
    startSim(1, 38400);
    ASSERT_TRUE(sim_->set("CD39EN", "1"));
    ASSERT_TRUE(sim_->set("PREFIX", "X[STX]"));
    const std::string fromTcu = scratch_ + "/from-tcu.txt";
    TcuRun r = tcu(at(38400, {QStringLiteral("save"), QString::fromStdString(fromTcu)}));
    EXPECT_EQ(r.status, 0) << r.err;

    // tcu1's "&Open Setup..." takes it.
    Form1& f = loadForm();
    vort::dialogs::FileDialogResult chosen;
    chosen.cancelled = false;
    chosen.path = QString::fromStdString(fromTcu);
    dialogs_.answerFile(chosen);
    f.mnuopen_Click();
    settings::SettingsWindow& w = f.settingsWindow();
    EXPECT_EQ(settings::setupValue(w, settings::setupKeyIndex("CD39EN")), "1");
    EXPECT_EQ(w.Text2->text(), "X[STX]");

    // tcu1 saves a changed setup; tcu loads it and the scanner gets it.
    w.Text3->setText(QStringLiteral("Z"));
    const std::string fromTcu1 = scratch_ + "/from-tcu1.txt";
    chosen.path = QString::fromStdString(fromTcu1);
    dialogs_.answerFile(chosen);
    f.mnusave_Click();
    r = tcu(at(38400, {QStringLiteral("load"), QString::fromStdString(fromTcu1)}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim_->get("SUFFIX"), "Z");
    std::string expected = readFile(fromTcu);
    expected.replace(expected.find("<SUFFIX=>"), 9, "<SUFFIX=Z>");
    EXPECT_EQ(readFile(fromTcu1), expected) << "the same format both ways";

    // Files that cannot be read or written are status 4, before or after the scanner.
    ASSERT_TRUE(sim_->clearFrames());
    r = tcu(at(38400, {QStringLiteral("load"), QString::fromStdString(scratch_ + "/none.txt")}));
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(sim_->frames().empty()) << "a missing file is found before the scanner is asked";
    r = tcu(at(38400, {QStringLiteral("save"), QString::fromStdString(scratch_ + "/no/dir.txt")}));
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(contains(r.err, "cannot write")) << r.err;
}

TEST_F(TcuCommandsTest, UpgradeLoadsTheImageWaitsForTheRestartAndPrintsTheNewRevision) {
    startSim(1, 38400);
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    const uint64_t before = sim_->loadsEnded();
    TcuRun r =
        tcu(at(38400, {QStringLiteral("upgrade"), image("new.bin", "3.30", 20000),
                       QStringLiteral("--yes"), QStringLiteral("--wait"), QStringLiteral("30")}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "code_size=20000\ncrc16=BEEF\nversion=3.30\ndate=07-DEC-2026\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "application1=3.30")) << r.out;
    EXPECT_TRUE(contains(r.err, "upgrade: 100 % (20108 of 20108 bytes")) << r.err;
    EXPECT_TRUE(contains(r.err, "RESTART the scanner")) << r.err;
    const auto loaded = sim_->waitForImage(before, std::chrono::seconds(5));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(loaded->ok) << loaded->error;
    EXPECT_EQ(loaded->size, 20108u);
}

TEST_F(TcuCommandsTest, UpgradeRefusesWithoutYesAnOlderImageWithoutForceAndBadFiles) {
    startSim(1, 19200);
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    TcuRun r = tcu(at(19200, {QStringLiteral("upgrade"), image("new.bin", "3.30", 1000)}));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "Do You Want to Update the ROM? No (no terminal to ask)")) << r.err;
    EXPECT_TRUE(contains(r.out, "version=3.30")) << "the header is shown first";

    // 3.3 reads as 33: older than 3.22.
    r = tcu(at(19200, {QStringLiteral("upgrade"), image("old.bin", "3.3", 1000),
                       QStringLiteral("--yes")}));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "older than the scanner's 3.22")) << r.err;
    EXPECT_FALSE(contains(framesSeen(), "<A1CODE=Z>"));

    writeFile(scratch_ + "/short.bin", std::string(108, 'x'));
    r = tcu(at(19200, {QStringLiteral("upgrade"), QString::fromStdString(scratch_ + "/short.bin"),
                       QStringLiteral("--yes")}));
    EXPECT_EQ(r.status, 4);
    r = tcu(at(19200, {QStringLiteral("upgrade"), QString::fromStdString(scratch_ + "/none.bin"),
                       QStringLiteral("--yes")}));
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(contains(r.err, "cannot read")) << r.err;
}

TEST_F(TcuCommandsTest, UpgradeWithARefusedLoadTokenLoadsNothing) {
    startSim(1, 19200, {"--transfer-library", "/nonexistent/libtransvex.so"});
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    TcuRun r = tcu(at(19200, {QStringLiteral("upgrade"), image("new.bin", "3.30", 1000),
                              QStringLiteral("--yes")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "refused the load token")) << r.err;
    EXPECT_EQ(sim_->get("APP1RV"), "3.22");
}

TEST_F(TcuCommandsTest, CtrlCDuringAFastUpgradeCancelsAndPutsScannerAndPortBack) {
    startSim(1, 19200);
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    QProcess p;
    p.setProgram(QString::fromStdString(buildOut() + "/tcu"));
    p.setArguments(at(19200, {QStringLiteral("upgrade"), image("big.bin", "3.30", 8 << 20),
                              QStringLiteral("--yes"), QStringLiteral("--fast")}));
    p.setReadChannel(QProcess::StandardError);
    p.start();
    p.closeWriteChannel();
    std::string err;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!contains(err, "upgrade: ") && Clock::now() < deadline &&
           p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(200);
        err += p.readAllStandardError().toStdString();
    }
    ASSERT_TRUE(contains(err, "upgrade: ")) << "the transfer never started: " << err;
    EXPECT_EQ(sim_->line(), "115200,N,8,1") << "fast load";
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    err += p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130) << err;
    EXPECT_TRUE(contains(err, "the transfer was cancelled")) << err;
    EXPECT_TRUE(contains(err, "port is at 19200,N,8,1")) << err;
    EXPECT_EQ(sim_->line(), "19200,N,8,1") << "the scanner went back to its rate";
    EXPECT_EQ(sim_->get("APP1RV"), "3.22") << "and kept its firmware";
}

TEST_F(TcuCommandsTest, CtrlCDuringTheDetectionEndsAt130WithoutAQuestion) {
    startSim(1, 9600);
    ASSERT_TRUE(sim_->fault("ignore 1000"));
    QProcess p;
    p.setProgram(QString::fromStdString(buildOut() + "/tcu"));
    p.setArguments({QStringLiteral("detect")});
    p.start();
    p.closeWriteChannel();
    // The first ping (at 9600) has reached the scanner: the detection is under way.
    ASSERT_TRUE(vort::test::waitFor([&] { return !sim_->frames().empty(); }, 30000));
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(30000));
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130) << err;
    EXPECT_TRUE(contains(err, "tcu: interrupted")) << err;
    EXPECT_FALSE(contains(err, "Connection Failed")) << "no question after Ctrl-C: " << err;
    EXPECT_EQ(p.readAllStandardOutput(), "");
}

TEST_F(TcuCommandsTest, UsageHelpAndVersion) {
    TcuRun r = tcu({QStringLiteral("--version")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "tcu 2.11\n");
    r = tcu({QStringLiteral("--help")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "usage: tcu"));
    r = tcu({QStringLiteral("load"), QStringLiteral("--help")});
    EXPECT_TRUE(contains(r.out, "usage: tcu load FILE"));
    r = tcu({QStringLiteral("frobnicate")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "unknown command"));
    EXPECT_EQ(r.out, "");
}

} // namespace
} // namespace tcu::test
