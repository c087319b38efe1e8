// Every tab of the main window laid out at the window's run-time size, the upload window
// and the manual port window: no two frames, options, labels or boxes overlap, no
// caption is cut. With TCU_SCREENSHOT_DIR set, each is saved there as a PNG (for docs/).
// The same tests also run with fonts at 1.5 times the size (tests/app/settings).
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/forms/form3.h"
#include "app/forms/form4.h"
#include "app/forms/twips.h"
#include "app/settings/settings_window.h"
#include "layout_check.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

class ScreenshotTest : public TcuTest {};

TEST_F(ScreenshotTest, EveryTabFitsWithoutOverlapsOrCutCaptions) {
    Form1& f = loadForm();
    const int dpi = logicalDpiOf(&f);
    f.resize(twipsToPixels(kForm1WidthTwips, dpi), twipsToPixels(kForm1HeightTwips, dpi));
    f.show();
    EXPECT_LE(f.minimumSizeHint().width(), f.width()) << "the tabs make the window too wide";
    EXPECT_LE(f.minimumSizeHint().height(), f.height()) << "the tabs make the window too high";
    const QString dir = qEnvironmentVariable("TCU_SCREENSHOT_DIR");
    for (int tab = 0; tab < f.SSTab1->count(); ++tab) {
        f.SSTab1->setCurrentIndex(tab);
        // Open the pickers so that their entries are laid out and checked too.
        auto& w = f.settingsWindow();
        w.CharList.frame->setVisible(tab == 4);
        w.CharList2.frame->setVisible(tab == 5);
        QApplication::processEvents();
        expectTidyLayout(f.SSTab1->widget(tab), "tab " + std::to_string(tab));
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            EXPECT_TRUE(f.grab().save(dir + QStringLiteral("/tab%1.png").arg(tab)));
        }
    }
    f.hide();
}

void saveShot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("TCU_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    EXPECT_TRUE(w.grab().save(dir + QLatin1Char('/') + name));
}

TEST_F(ScreenshotTest, TheUploadWindowShowsEveryCaptionWholeBesideItsBox) {
    Form1& f = loadForm();
    Form3& upload = f.form3();
    upload.texts[0]->setText(QStringLiteral("0001F3A0"));
    upload.ProgressBar1->setVisible(true);
    upload.show();
    QApplication::processEvents();
    expectTidyLayout(&upload, "Upload Binary File");
    // The captions keep their padding blanks, and each label stands left of its box on
    // the box's line.
    EXPECT_EQ(upload.labels[0]->text(), "Code Size       :");
    EXPECT_EQ(upload.labels[1]->text(), "CRC 16           :");
    EXPECT_EQ(upload.labels[2]->text(), "Version            :");
    EXPECT_EQ(upload.labels[3]->text(), "Date Complied :");
    for (int i = 0; i < 4; ++i) {
        EXPECT_LT(upload.labels[i]->geometry().right(), upload.texts[i]->x());
        EXPECT_LT(upload.texts[i]->geometry().right(), upload.labels[i + 4]->x());
        EXPECT_EQ(upload.labels[i]->y(), upload.texts[i]->y());
    }
    // Nothing shrinks below the design: 4440 twips wide, the boxes 1575 twips.
    const double dpi = logicalDpiOf(&upload);
    EXPECT_GE(upload.width(), twipsToPixels(4440, dpi));
    EXPECT_EQ(upload.texts[0]->width(), twipsToPixels(1575, dpi));
    EXPECT_EQ(upload.height(), twipsToPixels(4395, dpi));
    saveShot(upload, QStringLiteral("upload.png"));
    f.unloadForm3();
}

TEST_F(ScreenshotTest, TheManualPortWindowFitsItsChoices) {
    Form1& f = loadForm();
    Form4& manual = f.form4();
    manual.show();
    QApplication::processEvents();
    expectTidyLayout(&manual, "Comm Port Settings");
    saveShot(manual, QStringLiteral("manual-port.png"));
    manual.hide();
}

} // namespace
} // namespace tcu::test
