// The Qt facade's message boxes on a real X server (xcb platform): the window system
// shows exactly the box's title, and a box without one shows the program's title. The
// offscreen platform never shows titles, so this program starts its own Xvfb before
// the application exists.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

#include "platform/dialogs/dialogs.h"
#include "support/xvfb_server.h"

namespace vort::dialogs {
namespace {

using test::XvfbServer;

XvfbServer* server = nullptr;

class X11Application : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = std::make_unique<XvfbServer>();
        ASSERT_TRUE(server_->ok()) << server_->error();
        server = server_.get();
        setenv("DISPLAY", server_->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "dialogs_x11_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        server = nullptr;
        server_.reset();
    }

private:
    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new X11Application);

// Shows a box for request through the Qt facade and returns the title of the window
// the X server shows for it (the first shown title beginning with expected, else
// every title shown), then closes the box.
std::string shownTitle(const MessageBoxRequest& request, const std::string& expected) {
    std::string seen;
    QTimer::singleShot(0, [&] {
        const auto titles = server->waitForTitles(
            [&](const std::vector<std::string>& t) {
                return std::any_of(t.begin(), t.end(),
                                   [&](const std::string& s) { return s.rfind(expected, 0) == 0; });
            },
            std::chrono::seconds(30),
            [] { QApplication::processEvents(QEventLoop::AllEvents, 50); });
        for (const std::string& t : titles) {
            if (t.rfind(expected, 0) == 0) {
                seen = t;
                break;
            }
            seen += "[" + t + "]";
        }
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    dialogs().messageBox(request);
    return seen;
}

TEST(QtBoxTitlesOnX11, AreTheRequestedTitleOrTheProgramsTitleAndNothingMore) {
    ASSERT_NE(server, nullptr);
    setApplicationTitle(QStringLiteral("TCU1"));
    EXPECT_EQ(applicationTitle(), "TCU1");
    EXPECT_EQ(
        shownTitle({"Error # 13 Permission denied", "Error", Icon::Critical, Buttons::Ok}, "Error"),
        "Error");
    EXPECT_EQ(shownTitle({"Connection Failed", "TCU1", Icon::None, Buttons::RetryCancel}, "TCU1"),
              "TCU1");
    EXPECT_EQ(shownTitle({"no title of its own", "", Icon::None, Buttons::Ok}, "TCU1"), "TCU1");

    // Until a program sets its title, its name stands in.
    setApplicationTitle(QString());
    EXPECT_EQ(shownTitle({"x", "", Icon::None, Buttons::Ok}, "dialogs_x11_tests"),
              "dialogs_x11_tests");
}

} // namespace
} // namespace vort::dialogs
