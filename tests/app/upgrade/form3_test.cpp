// The upload window: its layout, what loading and unloading do to the control, the
// animation strip and the progress bar.
#include "app/forms/form3.h"
#include "app/upgrade/upgrade_rules.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "tcu_fixture.h"

namespace tcu::test {
namespace {

class Form3Test : public TcuTest {
protected:
    void SetUp() override {
        TcuTest::SetUp();
        loadForm();
        form_->CommCtl1.setRThreshold(1);
        form_->CommCtl1.setSThreshold(3);
    }
};

TEST_F(Form3Test, LoadTakesTheThresholdsAndUnloadGivesThemBackInTextMode) {
    Form3 upload(*form_);
    EXPECT_EQ(upload.windowTitle(), "Upload Binary File");
    EXPECT_EQ(core().SavedRThreshold, 1);
    EXPECT_EQ(core().SavedSThreshold, 3);
    EXPECT_EQ(form_->CommCtl1.rThreshold(), 0);
    EXPECT_EQ(form_->CommCtl1.sThreshold(), 0);
    EXPECT_EQ(upload.Timer3.interval(), 1000);
    EXPECT_FALSE(upload.Timer1.isEnabled());
    EXPECT_FALSE(upload.Timer2.isEnabled());
    EXPECT_FALSE(upload.Timer3.isEnabled());
    EXPECT_FALSE(upload.ProgressBar1->isVisibleTo(&upload));
    EXPECT_EQ(upload.labels[2]->text(), "Version            :");
    EXPECT_EQ(upload.labels[7]->text(), "Date");
    EXPECT_EQ(upload.Command1->text(), "&Cancel");
    EXPECT_TRUE(upload.texts[0]->isReadOnly());
    EXPECT_EQ(upload.minimumSize(), upload.maximumSize()) << "fixed border";

    // As the load leaves the control for a transfer.
    form_->CommCtl1.setInputMode(1);
    form_->CommCtl1.setProtocol(5);
    upload.Timer1.setEnabled(true);
    upload.Timer3.setEnabled(true);
    upload.Form_Unload();
    EXPECT_FALSE(upload.Timer1.isEnabled());
    EXPECT_FALSE(upload.Timer3.isEnabled());
    EXPECT_EQ(form_->CommCtl1.rThreshold(), 1);
    EXPECT_EQ(form_->CommCtl1.sThreshold(), 3);
    EXPECT_EQ(form_->CommCtl1.inputMode(), 0);
    EXPECT_EQ(form_->CommCtl1.protocol(), 0);
    EXPECT_EQ(form_->CommCtl1.comType(), 0);
    EXPECT_FALSE(form_->CommCtl1.fileTransmit());
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(Form3Test, AnimationShowsEighteenDifferentCellsThenStartsAgain) {
    Form3 upload(*form_);
    EXPECT_EQ(upload.shownCell(), 0);
    QImage previous = upload.Picture1->pixmap().toImage();
    ASSERT_EQ(previous.size(), QSize(260, 40));
    for (int tick = 1; tick < 18; ++tick) {
        upload.Timer1_Timer();
        EXPECT_EQ(upload.shownCell(), tick);
        EXPECT_EQ(upload.AnimFrame, tick);
        const QImage cell = upload.Picture1->pixmap().toImage();
        EXPECT_NE(cell, previous) << "cell " << tick << " looks like the one before";
        previous = cell;
    }
    upload.Timer1_Timer();
    EXPECT_EQ(upload.shownCell(), 0) << "the 18th tick shows cell 0 again";
    EXPECT_EQ(upload.AnimFrame, 0);
}

TEST_F(Form3Test, FileInfoShowsTheBarWithinItsRange) {
    Form3 upload(*form_);
    // No job: FileSize is 0, so the range is 0..1 and any count fills the bar.
    upload.fileInfo(0, 0);
    EXPECT_TRUE(upload.ProgressBar1->isVisibleTo(&upload));
    EXPECT_EQ(upload.ProgressBar1->maximum(), 1);
    EXPECT_EQ(upload.ProgressBar1->value(), 0);
    upload.fileInfo(0, 4096);
    EXPECT_EQ(upload.ProgressBar1->value(), 1);
}

TEST_F(Form3Test, AStoppedJobWithoutAFullBarClosesTheWindowSilently) {
    Form3& upload = form_->form3();
    upload.Timer3.setEnabled(true);
    // No job runs: the watch starts the completion wait.
    upload.Timer3_Timer();
    EXPECT_TRUE(upload.Timer2.isEnabled());
    EXPECT_TRUE(upload.Timer3.isEnabled()) << "the watch keeps ticking";
    // No progress was ever reported: the bar has its design range 0..100 at 0.
    upload.Timer2_Timer();
    EXPECT_FALSE(upload.Timer2.isEnabled());
    EXPECT_FALSE(form_->form3Loaded());
    EXPECT_FALSE(upload.Timer3.isEnabled());
    EXPECT_TRUE(dialogs_.boxes().empty()) << "no restart box";

    // A report of FileSize 0 with 0 bytes: range 0..1 at 0, still not complete.
    Form3& again = form_->form3();
    EXPECT_FALSE(again.ProgressBar1->isVisibleTo(&again)) << "loaded again from its design";
    again.fileInfo(0, 0);
    again.Timer2_Timer();
    EXPECT_FALSE(form_->form3Loaded());
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(Form3Test, ASkippedImageCountsAsNotLoaded) {
    Form3& upload = form_->form3();
    upload.fileInfo(0, 4096);
    ASSERT_EQ(upload.ProgressBar1->value(), upload.ProgressBar1->maximum());
    // The receiver skipped the image: the bar empties and no restart is asked for.
    upload.fileInfo(upgrade::kFileSkippedAction, 4096);
    EXPECT_EQ(upload.ProgressBar1->value(), 0);
    upload.Timer2_Timer();
    EXPECT_FALSE(form_->form3Loaded());
    EXPECT_TRUE(dialogs_.boxes().empty()) << "no restart box";
}

} // namespace
} // namespace tcu::test
