// The main window's own small behaviour: the "&Table" items, the connection indicator,
// and twips on screens of different density.
#include "app/forms/twips.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

class Form1Test : public TcuTest {};

TEST_F(Form1Test, EachTableItemShowsItsTabWhateverWasShownBefore) {
    Form1& f = loadForm();
    const std::vector<std::pair<QAction*, QString>> items = {{f.mnuSend, "Revision Numbers"},
                                                             {f.mnuPower, "Power Saving"},
                                                             {f.mnuRs232, "RS232"},
                                                             {f.mnuSpeaker, "Speaker Volume"},
                                                             {f.mnuPrefix, "Prefix"},
                                                             {f.mnuSuffix, "Suffix"},
                                                             {f.mnuLinear, "Linear Codes"},
                                                             {f.mnuPDF417, "PDF417"},
                                                             {f.mnuMagnetic, "Magnetic Stripe"},
                                                             {f.mnuRegKey, "Registration Key"}};
    ASSERT_EQ(f.SSTab1->count(), 10);
    for (int from = 0; from < 10; ++from) {
        for (const auto& [item, caption] : items) {
            f.SSTab1->setCurrentIndex(from);
            item->trigger();
            EXPECT_EQ(f.SSTab1->tabText(f.SSTab1->currentIndex()), caption)
                << item->text().toStdString() << " from tab " << from;
        }
    }
}

TEST_F(Form1Test, TheIndicatorBringsOneImageToTheFront) {
    Form1& f = loadForm();
    EXPECT_FALSE(f.connectedShown()) << "the port is closed until a detection opens it";
    EXPECT_EQ(f.imgConnected->toolTip(), "Port is open");
    EXPECT_EQ(f.imgNotConnected->toolTip(), "Port is closed");
    EXPECT_EQ(f.imgConnected->geometry(), f.imgNotConnected->geometry());
    f.showConnected(true);
    EXPECT_TRUE(f.connectedShown());
    f.showConnected(true);
    EXPECT_TRUE(f.connectedShown());
    f.showConnected(false);
    EXPECT_FALSE(f.connectedShown());
    f.placeFrameLed();
    EXPECT_EQ(f.imgConnected->geometry(), f.imgNotConnected->geometry());
    EXPECT_EQ(f.imgConnected->y(), twipsToPixels(kFrameLedTopTwips, logicalDpiOf(&f)));
}

TEST(TwipsTest, FifteenTwipsAPixelAt96DpiScaledWithTheScreen) {
    EXPECT_EQ(twipsToPixels(15, 96), 1);
    EXPECT_EQ(twipsToPixels(kForm1WidthTwips, 96), 599);
    EXPECT_EQ(twipsToPixels(kForm1HeightTwips, 96), 521);
    EXPECT_EQ(twipsToPixels(kForm1WidthTwips, 144), 898);
    EXPECT_EQ(pixelsToTwips(1920, 96), 28800);
}

} // namespace
} // namespace tcu::test
