// The dialog facade: the Qt boxes answer with the button pressed, and the scripted
// facade records, answers and complains as tests rely on.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "platform/dialogs/dialogs.h"
#include "platform/dialogs/qt_dialogs.h"
#include "support/qt_file_dialog_driver.h"
#include "support/scripted_dialogs.h"

namespace vort::dialogs {
namespace {

using test::ScriptedDialogs;

class DialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "dialogs_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }
};

// Presses the button of the box that comes up next whose role text is `button`.
void pressWhenShown(const QString& button, QString* seenText = nullptr, int* seenIcon = nullptr) {
    QTimer::singleShot(50, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (seenText)
            *seenText = box->text();
        if (seenIcon)
            *seenIcon = box->icon();
        for (QAbstractButton* b : box->buttons())
            if (b->text().remove('&') == button) {
                b->click();
                return;
            }
        ADD_FAILURE() << "no button " << button.toStdString();
        box->reject();
    });
}

TEST_F(DialogsTest, QtBoxesAnswerWithThePressedButtonAndShowCrAsLineBreaks) {
    QString text;
    int icon = -1;
    pressWhenShown("Retry", &text, &icon);
    MessageBoxRequest r{"Connection\rFailed\r\nnow", "TCU1", Icon::Exclamation,
                        Buttons::RetryCancel};
    EXPECT_EQ(dialogs().messageBox(r), Answer::Retry);
    EXPECT_EQ(text, "Connection\nFailed\nnow");
    EXPECT_EQ(icon, QMessageBox::Warning);

    pressWhenShown("No");
    EXPECT_EQ(dialogs().messageBox({"Sure?", "", Icon::Question, Buttons::YesNo}), Answer::No);

    // Escape gives the cancelling button.
    QTimer::singleShot(50, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(dialogs().messageBox({"x", "", Icon::None, Buttons::RetryCancel}), Answer::Cancel);
}

TEST_F(DialogsTest, QtFileDialogsReportCancelAndTakeThePipeFilterForm) {
    EXPECT_EQ(qtFilter("All files|*.*"), "All files (*)");
    EXPECT_EQ(qtFilter("Setup Files (*.txt)|*.txt;*.set"), "Setup Files (*.txt) (*.txt *.set)");
    EXPECT_EQ(qtFilter("plain"), "plain");
    QTimer::singleShot(100, [] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            d->reject();
    });
    FileDialogRequest r;
    r.title = "Select a TXT file";
    r.filters = {"All files|*.*", "Text Files (*.txt)|*.txt"};
    r.filterIndex = 2;
    const FileDialogResult res = dialogs().fileDialog(r);
    EXPECT_TRUE(res.cancelled);
    EXPECT_EQ(res.filterIndex, 2);
}

TEST_F(DialogsTest, AFilterWhoseDescriptionNamesItsPatternsShowsThemOnce) {
    EXPECT_EQ(qtFilter("Text Files (*.txt)|*.txt"), "Text Files (*.txt)");
    EXPECT_EQ(qtFilter("BIN Files (*.bin)|*.bin"), "BIN Files (*.bin)");
    EXPECT_EQ(qtFilter("Setup (*.txt *.set)|*.txt;*.set"), "Setup (*.txt *.set)");
    // Patterns other than the ones the description names are still added.
    EXPECT_EQ(qtFilter("Text Files (*.txt)|*.text"), "Text Files (*.txt) (*.text)");
    EXPECT_EQ(qtFilter("All Files (*.*)|*.*"), "All Files (*.*) (*)");

    // The dialog the user sees, on the Qt facade.
    test::QtFileDialogDriver driver(QStringLiteral("/nonexistent-dir/none.bin"));
    FileDialogRequest r;
    r.title = "Select a BIN file";
    r.filters = {"All files|*.*", "BIN Files (*.bin)|*.bin"};
    r.filterIndex = 2;
    r.mustExist = true;
    EXPECT_TRUE(dialogs().fileDialog(r).cancelled);
    EXPECT_EQ(driver.nameFilters(), (QStringList{"All files (*)", "BIN Files (*.bin)"}));
    EXPECT_EQ(driver.firstFilter(), "BIN Files (*.bin)");
}

TEST_F(DialogsTest, ScriptedBoxesAreRecordedAndAnsweredInOrder) {
    ScriptedDialogs scripted;
    EXPECT_EQ(&dialogs(), &scripted);
    scripted.answer(Answer::Retry, QString("Connection Failed"));
    scripted.answer(Answer::Cancel);
    EXPECT_EQ(dialogs().messageBox({"Connection Failed", "TCU1", Icon::None, Buttons::RetryCancel}),
              Answer::Retry);
    EXPECT_EQ(dialogs().messageBox({"again", "TCU1", Icon::None, Buttons::RetryCancel}),
              Answer::Cancel);
    ASSERT_EQ(scripted.boxes().size(), 2u);
    EXPECT_EQ(scripted.boxes()[0].text, "Connection Failed");
    EXPECT_EQ(scripted.boxes()[1].answer, Answer::Cancel);
    EXPECT_TRUE(scripted.exhausted());

    FileDialogResult chosen;
    chosen.cancelled = false;
    chosen.path = "/tmp/x.txt";
    scripted.answerFile(chosen);
    EXPECT_EQ(dialogs().fileDialog({}).path, "/tmp/x.txt");
    scripted.answerShellOpen(true);
    EXPECT_TRUE(dialogs().shellOpen("http://example.invalid"));
    EXPECT_EQ(scripted.shellOpens().at(0), "http://example.invalid");
}

TEST_F(DialogsTest, ScriptedDialogsFailLoudlyOnWhatWasNotScripted) {
    ScriptedDialogs scripted;
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(dialogs().messageBox({"Delete?", "", Icon::Question, Buttons::YesNo}),
                  Answer::No),
        "unscripted message box: \"Delete?\"");
    EXPECT_NONFATAL_FAILURE(EXPECT_TRUE(dialogs().fileDialog({}).cancelled),
                            "unscripted file dialog");
    EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(dialogs().shellOpen("x")), "unscripted shell open");
    scripted.answer(Answer::Ok, QString("expected"));
    EXPECT_NONFATAL_FAILURE(dialogs().messageBox({"other", "", Icon::None, Buttons::Ok}),
                            "where \"expected\" was expected");
    scripted.answer(Answer::Yes);
    EXPECT_NONFATAL_FAILURE(dialogs().messageBox({"q", "", Icon::None, Buttons::RetryCancel}),
                            "is not a button of the box");
    scripted.setAcceptPlainOkBoxes(true);
    EXPECT_EQ(dialogs().messageBox({"fine", "", Icon::None, Buttons::Ok}), Answer::Ok);
}

TEST_F(DialogsTest, TheQtFacadeComesBackWhenTheScriptEnds) {
    DialogFacade* before = &dialogs();
    {
        ScriptedDialogs scripted;
        EXPECT_NE(&dialogs(), before);
    }
    EXPECT_EQ(&dialogs(), before);
}

} // namespace
} // namespace vort::dialogs
