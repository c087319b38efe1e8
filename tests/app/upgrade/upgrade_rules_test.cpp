// How revisions compare, the fast-load line settings, the progress bar and the
// animation cells.
#include "app/upgrade/upgrade_rules.h"

#include <gtest/gtest.h>

#include "app/link/run_time_error.h"

namespace tcu::upgrade {
namespace {

TEST(UpgradeRulesTest, RevisionsCompareAsTheirDigitStrings) {
    EXPECT_EQ(revisionValue(QStringLiteral(" 3.22   ")), 322);
    EXPECT_EQ(revisionValue(QStringLiteral(" 3.3    ")), 33);
    EXPECT_EQ(revisionValue(QStringLiteral(" 3.2\r\n")), 32) << "a line end is white space";
    // Scanner at 3.22: 3.21 and 3.3 are older, 3.22 and 3.30 are not.
    const QString scanner = QStringLiteral(" 3.22   ");
    EXPECT_TRUE(imageIsOlder(scanner, QStringLiteral(" 3.21   ")));
    EXPECT_TRUE(imageIsOlder(scanner, QStringLiteral(" 3.3    ")));
    EXPECT_FALSE(imageIsOlder(scanner, QStringLiteral(" 3.22   ")));
    EXPECT_FALSE(imageIsOlder(scanner, QStringLiteral(" 3.30   ")));
    for (const char* bad : {" 3.2a   ", " V3.30  ", "        ", ""}) {
        try {
            imageIsOlder(scanner, QString::fromLatin1(bad));
            ADD_FAILURE() << "no error for \"" << bad << "\"";
        } catch (const RunTimeError& e) {
            EXPECT_EQ(e.number(), kErrTypeMismatch) << bad;
        }
    }
}

TEST(UpgradeRulesTest, FastLoadKeepsTheFramingAndGivesBackTheRate) {
    EXPECT_EQ(fastLoadSettings(QStringLiteral("9600,N,8,1")), QStringLiteral("115200,N,8,1"));
    EXPECT_EQ(fastLoadSettings(QStringLiteral("19200,E,7,2")), QStringLiteral("115200,E,7,2"));
    EXPECT_EQ(fastLoadSettings(QStringLiteral("9600,O,7,1.5")), QStringLiteral("115200,O,7,1.5"))
        << "1.5 stop bits keep the parity";
    EXPECT_FALSE(fastLoadSettings(QStringLiteral("9600")).has_value());
    EXPECT_EQ(savedBaud(QStringLiteral("9600,N,8,1")), QStringLiteral("9600"));
    EXPECT_FALSE(savedBaud(QString()).has_value()) << "nothing saved: nothing to go back to";
}

TEST(UpgradeRulesTest, BarFollowsTheBytesSentAndCompletesOnlyWhenFull) {
    const BarState empty = barAfterFileInfo(0, 0);
    EXPECT_EQ(empty.maximum, 1);
    EXPECT_EQ(empty.value, 0);
    EXPECT_FALSE(empty.complete()) << "a job with FileSize 0 never counts as complete";
    const BarState over = barAfterFileInfo(1000, 1500);
    EXPECT_EQ(over.value, 1000);
    EXPECT_TRUE(over.complete());
    EXPECT_FALSE(barAfterFileInfo(1000, 999).complete());
    EXPECT_EQ(barAfterFileInfo(1000, -5).value, 0);
    EXPECT_FALSE(BarState{}.complete()) << "design range 0..100 at 0";
}

TEST(UpgradeRulesTest, ASkippedImageLeavesTheBarEmpty) {
    EXPECT_TRUE(barAfterFileInfo(int16_t{7}, 1000, 1000).complete());
    const BarState skipped = barAfterFileInfo(kFileSkippedAction, 1000, 1000);
    EXPECT_EQ(skipped.maximum, 1000);
    EXPECT_EQ(skipped.value, 0);
    EXPECT_FALSE(skipped.complete()) << "the scanner kept what it had";
}

TEST(UpgradeRulesTest, AnimationRunsThroughEighteenCells) {
    int16_t frame = 0;
    for (int tick = 1; tick < kAnimationCells; ++tick) {
        frame = nextAnimationFrame(frame);
        EXPECT_EQ(frame, tick);
    }
    EXPECT_EQ(nextAnimationFrame(frame), 0) << "the 18th tick shows cell 0 again";
    EXPECT_EQ(nextAnimationFrame(-3), 0);
}

} // namespace
} // namespace tcu::upgrade
