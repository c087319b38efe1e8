// The About box ends by itself ten seconds after it is shown, with no message box.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "control/object/about_box.h"
#include "support/qt_app_environment.h"
#include "support/scripted_dialogs.h"

using namespace vort;

TEST(AboutBoxTimer, EndsItAfterTenSeconds) {
    test::ScriptedDialogs facade; // any box would fail the test
    VortAboutBox box;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    const qint64 ms = clock.elapsed();
    EXPECT_GE(ms, 10000) << "it ended early";
    EXPECT_LT(ms, 12000);
    EXPECT_TRUE(facade.boxes().empty());
    EXPECT_FALSE(box.isVisible());
}
