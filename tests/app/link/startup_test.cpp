// The start-up (Main), the ways out, and the program as a process.
#include <QProcess>
#include <QScreen>
#include <algorithm>
#include <filesystem>

#include "app/forms/twips.h"
#include "app/identity/revision_state.h"
#include "app/link/port_settings_file.h"
#include "app/link/startup.h"
#include "support/pty_pair.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;
using vort::dialogs::Icon;

class StartupTest : public TcuTest {};

TEST_F(StartupTest, WithoutTcuIniStartsOnPort1FindsTheScannerAndLearnsItsRevisionQuietly) {
    startSim(1, 9600);
    int exitCode = -1;
    form_ = Main(&exitCode);
    ASSERT_TRUE(form_);
    EXPECT_EQ(exitCode, 0);
    Form1& f = *form_;

    EXPECT_EQ(readFile(iniPath()), "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n")
        << "9600,N,8,1 differs from 9600,n,8,1 only in case, on the same port: no rewrite";
    EXPECT_EQ(f.windowTitle(), " TCU - 2.11");
    EXPECT_EQ(f.form2().Label1->text(), " TCU - 2.11");
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.isEnding());
    EXPECT_EQ(f.SSTab1->currentIndex(), 0);
    EXPECT_EQ(f.CommCtl1.commPort(), 1);
    EXPECT_EQ(f.CommCtl1.settings(), "9600,N,8,1");
    EXPECT_TRUE(f.cmdSend->isEnabled());
    EXPECT_EQ(core().StartupDetect, 2);
    EXPECT_EQ(core().App1RevNumber, 322);
    EXPECT_FALSE(core().QuietRevQuery);
    EXPECT_EQ(sim_->frames(), (std::vector<std::string>{"\x01<TXPING:>\x04", "\x01<APP1RV:>\x04"}));
    const double dpi = logicalDpiOf(&f);
    // The run-time size, unless the window's contents need more room.
    EXPECT_EQ(f.width(),
              std::max(twipsToPixels(kForm1WidthTwips, dpi), f.minimumSizeHint().width()));
    EXPECT_EQ(f.height(),
              std::max(twipsToPixels(kForm1HeightTwips, dpi), f.minimumSizeHint().height()));
    EXPECT_TRUE(dialogs_.boxes().empty());

    // Closing the window closes the port and ends the program; the file is not written.
    f.close();
    EXPECT_TRUE(f.isEnding());
    EXPECT_FALSE(f.CommCtl1.portOpen());
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n");
}

TEST_F(StartupTest, WithNoScannerTheDetectionAsksAndTheQuietQueryFailsWithoutABox) {
    vort::test::PtyPair line;
    vort::test::ScopedPortMap map;
    map.map(1, line.slavePath());
    useConfigHome(map.configHome());
    dialogs_.answer(Answer::Cancel, QStringLiteral("Connection Failed"));
    int exitCode = -1;
    form_ = Main(&exitCode);
    ASSERT_TRUE(form_);
    Form1& f = *form_;
    EXPECT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_EQ(f.sbrStatus->panelText(2), "TIME OUT COUNT = 2");
    EXPECT_EQ(core().App1RevNumber, 0);
    EXPECT_FALSE(f.cmdSend->isEnabled());
    EXPECT_TRUE(f.mnuauto->isEnabled());

    // "&Exit" ends at once: no unload, so the window's windows stay loaded.
    f.mnuexit->trigger();
    EXPECT_TRUE(f.isEnding());
    EXPECT_TRUE(f.form2Loaded());
}

TEST_F(StartupTest, AnUnregisteredControlIsExplainedAndEndsTheProgramWithAnError) {
    const std::string empty = scratch_ + "/empty-data";
    std::filesystem::create_directories(empty);
    setenv("XDG_DATA_HOME", empty.c_str(), 1);
    setenv("VORT_SYSTEM_REGISTRY", (empty + "/none").c_str(), 1);
    dialogs_.answer(Answer::Ok);
    int exitCode = 0;
    std::unique_ptr<Form1> form = Main(&exitCode);
    setenv("XDG_DATA_HOME", registryHome().c_str(), 1);
    unsetenv("VORT_SYSTEM_REGISTRY");

    EXPECT_FALSE(form);
    EXPECT_EQ(exitCode, kExitNoControl);
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].icon, Icon::Critical);
    EXPECT_TRUE(dialogs_.boxes()[0].text.contains("vortreg"))
        << dialogs_.boxes()[0].text.toStdString();
    EXPECT_TRUE(dialogs_.boxes()[0].text.contains("libvort.so"));
    // The settings were loaded all the same.
    EXPECT_TRUE(fileExists(iniPath()));
}

TEST_F(StartupTest, TheProgramStartsAsAProcessAndPhotographsItsWindowForTheDemo) {
    startSim(1, 38400);
    const QString shot = QString::fromStdString(scratch_ + "/main.png");
    QProcess tcu1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    tcu1.setProcessEnvironment(env);
    tcu1.start(QString::fromStdString(buildOut() + "/tcu1"), {"--demo-screenshot", shot});
    ASSERT_TRUE(tcu1.waitForFinished(30000)) << "tcu1 did not end";
    EXPECT_EQ(tcu1.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tcu1.exitCode(), 0) << tcu1.readAllStandardError().toStdString();
    QImage image(shot);
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 300);
    EXPECT_EQ(readFile(iniPath()), "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n");
    const auto frames = sim_->frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], "\x01<TXPING:>\x04");
}

} // namespace
} // namespace tcu::test
