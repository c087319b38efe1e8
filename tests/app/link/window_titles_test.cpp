// tcu1 as a process on a private X server with the xcb platform: the window system
// shows the main window's title exactly, with nothing appended. (The offscreen
// platform shows no titles at all.)
#include <QProcess>
#include <algorithm>

#include "support/xvfb_server.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

class WindowTitlesTest : public TcuTest {};

TEST_F(WindowTitlesTest, TheMainWindowOnX11ShowsExactlyItsTitle) {
    vort::test::XvfbServer x;
    ASSERT_TRUE(x.ok()) << x.error();
    startSim(1, 9600);
    QProcess tcu1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", QString::fromStdString(x.display()));
    tcu1.setProcessEnvironment(env);
    tcu1.start(QString::fromStdString(buildOut() + "/tcu1"));
    ASSERT_TRUE(tcu1.waitForStarted(10000));

    // The main window's title with whatever the toolkit might add to it.
    const auto titles = x.waitForTitles([](const std::vector<std::string>& t) {
        return std::any_of(t.begin(), t.end(),
                           [](const std::string& s) { return s.rfind(" TCU - 2.11", 0) == 0; });
    });
    tcu1.kill();
    tcu1.waitForFinished(10000);
    std::string all;
    for (const std::string& t : titles)
        all += "[" + t + "]";
    EXPECT_NE(std::find(titles.begin(), titles.end(), " TCU - 2.11"), titles.end())
        << "windows shown: " << all;
    EXPECT_EQ(all.find("\xE2\x80\x94"), std::string::npos) << "windows shown: " << all;
}

} // namespace
} // namespace tcu::test
