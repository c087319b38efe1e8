// vort-container's window and boxes on a private X server with the xcb platform: the
// window system shows each title exactly, with nothing appended.
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

#include "support/xvfb_server.h"
#include "tests/tools/container/container_process.h"

namespace vort::test {
namespace {

TEST(ContainerTitlesOnX11, TheWindowAndABoxShowExactlyTheirTitles) {
    XvfbServer x;
    ASSERT_TRUE(x.ok()) << x.error();
    QTemporaryDir data; // an empty registry: the control cannot be created
    ASSERT_TRUE(data.isValid());
    QProcess container;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", QString::fromStdString(x.display()));
    env.insert("XDG_DATA_HOME", data.path());
    env.insert("VORT_SYSTEM_REGISTRY", data.path() + "/none");
    container.setProcessEnvironment(env);
    container.start(builtProgram("vort-container"), {QStringLiteral("No.Such.Control")});
    ASSERT_TRUE(container.waitForStarted(10000));

    const auto titles = x.waitForTitles([](const std::vector<std::string>& t) {
        return std::any_of(t.begin(), t.end(), [](const std::string& s) {
            return s.rfind("Cannot Create the Control", 0) == 0;
        });
    });
    container.kill();
    container.waitForFinished(10000);
    std::string all;
    for (const std::string& t : titles)
        all += "[" + t + "]";
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Cannot Create the Control"), titles.end())
        << "windows shown: " << all;
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Control Test Container"), titles.end())
        << "windows shown: " << all;
    EXPECT_EQ(all.find("\xE2\x80\x94"), std::string::npos) << "windows shown: " << all;
}

} // namespace
} // namespace vort::test
