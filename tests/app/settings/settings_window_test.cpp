// The setting tabs of the main window: layout and captions from the setup-key table,
// the window as the settings model, the delay box's filter, the prefix and suffix
// editor, and the setup files (real files, scripted dialogs).
#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
#include <sys/stat.h>
#include <unistd.h>

#include "app/settings/apply_setup_token.h"
#include "app/settings/prefix_suffix_editor.h"
#include "app/settings/settings_window.h"
#include "app/settings/split_records.h"
#include "support/non_regular_files.h"
#include "support/qt_file_dialog_driver.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

using settings::SetupField;
using vort::dialogs::Icon;

const std::string S(1, '\x01');
const std::string E(1, '\x04');

class SettingsWindowTest : public TcuTest {
protected:
    void SetUp() override {
        TcuTest::SetUp();
        loadForm();
    }
    settings::SettingsWindow& w() { return form_->settingsWindow(); }
    QRadioButton* option(const char* name) {
        auto* b = form_->findChild<QRadioButton*>(QString::fromLatin1(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    std::string value(const char* key) {
        return settings::setupValue(w(), settings::setupKeyIndex(key));
    }
    void type(QLineEdit* box, const QString& keys) {
        box->setFocus();
        for (QChar c : keys) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &release);
        }
    }
    void pick(settings::CharPicker& picker, int code) { picker.entries[code]->onClick(); }
    std::string path(const char* name) { return scratch_ + "/" + name; }
    void answerFile(const std::string& p) {
        vort::dialogs::FileDialogResult r;
        r.cancelled = false;
        r.path = QString::fromStdString(p);
        r.filterIndex = 2;
        dialogs_.answerFile(r);
    }
};

TEST_F(SettingsWindowTest, TabsFramesAndOptionsCarryTheTableCaptionsAndInitialChoices) {
    ASSERT_EQ(form_->SSTab1->count(), 10);
    const char* captions[] = {
        "Revision Numbers", "Power Saving", "RS232",  "Speaker Volume",  "Prefix",
        "Suffix",           "Linear Codes", "PDF417", "Magnetic Stripe", "Registration Key"};
    auto* rows = form_->findChild<QWidget*>(QStringLiteral("SSTab1Rows"));
    ASSERT_NE(rows, nullptr);
    auto* grid = qobject_cast<QGridLayout*>(rows->layout());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(form_->SSTab1->tabText(i), captions[i]);
        auto* tabButton = rows->findChild<QToolButton*>(QStringLiteral("SSTab1Tab%1").arg(i));
        ASSERT_NE(tabButton, nullptr);
        EXPECT_EQ(tabButton->text(), captions[i]);
        int row, col, rs, cs;
        grid->getItemPosition(grid->indexOf(tabButton), &row, &col, &rs, &cs);
        EXPECT_EQ(row, i / 5);
        EXPECT_EQ(col, i % 5);
    }

    const auto& tabs = *form_->SSTab1;
    for (int k = 0; k < settings::kSetupKeyCount; ++k) {
        const auto& key = settings::setupKeys()[k];
        QGroupBox* frame = w().frame(k);
        ASSERT_NE(frame, nullptr) << key.key;
        EXPECT_EQ(frame->title().toStdString(), key.frame);
        EXPECT_TRUE(tabs.widget(key.tab)->isAncestorOf(frame)) << key.key;
        for (int o = 0; o < key.optionCount; ++o) {
            QRadioButton* b = option(std::string(key.options[o].control).c_str());
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->text().toStdString(), key.options[o].caption);
            EXPECT_TRUE(frame->isAncestorOf(b));
            EXPECT_EQ(b->isChecked(), o == key.initial) << key.options[o].control;
        }
    }
    // Nested frames.
    EXPECT_TRUE(w().frame(settings::setupKeyIndex("CD39EN"))
                    ->isAncestorOf(w().frame(settings::setupKeyIndex("CD39SS"))));
    auto* raw = form_->findChild<QGroupBox*>(QStringLiteral("FrameRaw"));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->title(), "Raw Data Mode");
    EXPECT_TRUE(raw->isAncestorOf(w().frame(settings::setupKeyIndex("MAGRAW"))));
    auto* tracks = form_->findChild<QGroupBox*>(QStringLiteral("FrameTracks"));
    ASSERT_NE(tracks, nullptr);
    EXPECT_EQ(tracks->title(), "Track Setting");
    EXPECT_TRUE(form_->findChild<QLabel*>(QStringLiteral("Label10"))
                    ->text()
                    .contains("No-Read Message apply to Linear Codes"));

    // Boxes: empty, with their limits; pickers hidden.
    EXPECT_EQ(w().Text10->maxLength(), 3);
    EXPECT_EQ(w().Text2->maxLength(), 40);
    EXPECT_EQ(w().Text3->maxLength(), 40);
    EXPECT_TRUE(w().Text10->text().isEmpty() && w().Text2->text().isEmpty() &&
                w().Text3->text().isEmpty());
    EXPECT_TRUE(w().CharList.frame->isHidden());
    EXPECT_TRUE(w().CharList2.frame->isHidden());
    EXPECT_EQ(w().cmdCtrlPre->text(), "CTRL CH");
    EXPECT_FALSE(w().cmdCtrlPre->icon().isNull());
    EXPECT_FALSE(form_->cmdSend->icon().isNull());
    EXPECT_EQ(form_->cmdSend->toolTip(), "Send setup to the scanner ");
    EXPECT_TRUE(form_->mnuopen->isEnabled());
    EXPECT_TRUE(form_->mnusave->isEnabled());
}

TEST_F(SettingsWindowTest, TableItemsShowTheirTabWhateverWasShown) {
    QAction* items[] = {form_->mnuSend,     form_->mnuPower,  form_->mnuRs232,  form_->mnuSpeaker,
                        form_->mnuPrefix,   form_->mnuSuffix, form_->mnuLinear, form_->mnuPDF417,
                        form_->mnuMagnetic, form_->mnuRegKey};
    for (int from = 0; from < 10; from += 3)
        for (int tab = 0; tab < 10; ++tab) {
            form_->SSTab1->setCurrentIndex(from);
            items[tab]->trigger();
            EXPECT_EQ(form_->SSTab1->currentIndex(), tab);
            auto* b = form_->findChild<QToolButton*>(QStringLiteral("SSTab1Tab%1").arg(tab));
            EXPECT_TRUE(b->isChecked());
        }
    // A tab button shows its tab too.
    auto* tab7 = form_->findChild<QToolButton*>(QStringLiteral("SSTab1Tab7"));
    tab7->click();
    EXPECT_EQ(form_->SSTab1->currentIndex(), 7);
    // While the tab control is disabled (the detection runs), its captions are too.
    form_->SSTab1->setEnabled(false);
    EXPECT_FALSE(tab7->isEnabled());
    form_->SSTab1->setEnabled(true);
    EXPECT_TRUE(tab7->isEnabled());
}

TEST_F(SettingsWindowTest, TokensChooseOptionsOnTheWindowAndPowerSavingGatesThePrefixBox) {
    settings::SplitRecords(S + "<RSBAUD=19200>" + E + S + "<SPVOLU=HIGH>" + E + "\r\n",
                           [&](std::string_view t) { settings::ApplySetupToken(w(), t); });
    EXPECT_TRUE(option("Option12")->isChecked());
    EXPECT_FALSE(option("Option11")->isChecked());
    EXPECT_TRUE(option("Option25")->isChecked());
    EXPECT_FALSE(option("Option24")->isChecked());
    EXPECT_TRUE(option("Option36")->isChecked()); // untouched PDF417 stays

    // A user's click is seen by the model.
    option("Option7")->click();
    EXPECT_EQ(value("RSPRTY"), "EVEN");
    EXPECT_FALSE(option("Option5")->isChecked());

    // Power Saving: Disable locks the prefix box, Enable frees it; a token does the same.
    option("Option27")->click();
    EXPECT_FALSE(w().Text2->isEnabled());
    EXPECT_TRUE(w().Text2->isReadOnly());
    settings::ApplySetupToken(w(), "<POWSET=1>");
    EXPECT_TRUE(w().Text2->isEnabled());
    EXPECT_FALSE(w().Text2->isReadOnly());
    settings::ApplySetupToken(w(), "<POWSET=0>");
    EXPECT_FALSE(w().Text2->isEnabled());

    // Overlong values are cut to the boxes' limits.
    settings::ApplySetupToken(w(), "<SUFFIX=" + std::string(60, 's') + ">");
    EXPECT_EQ(w().Text3->text(), QString(40, QLatin1Char('s')));
    settings::ApplySetupToken(w(), "<RSDELY=0421>");
    EXPECT_EQ(w().Text10->text(), "042");
}

TEST_F(SettingsWindowTest, DelayBoxTurnsNonDigitsIntoZeroKeepingTheCaret) {
    type(w().Text10, QStringLiteral("12x"));
    EXPECT_EQ(w().Text10->text(), "120");
    EXPECT_EQ(w().Text10->cursorPosition(), 3);
    w().Text10->clear();
    type(w().Text10, QStringLiteral("19"));
    w().Text10->setCursorPosition(1);
    type(w().Text10, QStringLiteral("a"));
    EXPECT_EQ(w().Text10->text(), "109");
    EXPECT_EQ(w().Text10->cursorPosition(), 2);
    type(w().Text10, QStringLiteral("5")); // the box is full
    EXPECT_EQ(w().Text10->text(), "109");
    EXPECT_EQ(value("RSDELY"), "109");
    w().Text10->setText(QStringLiteral("7"));
    EXPECT_EQ(value("RSDELY"), "007");
}

TEST_F(SettingsWindowTest, PickerInsertsBracketNamesAtTheCaret) {
    // Grid of five columns filled column by column.
    auto position = [&](int code) {
        auto* grid = qobject_cast<QGridLayout*>(w().CharList.frame->layout());
        int row, col, rs, cs;
        grid->getItemPosition(grid->indexOf(w().CharList.entries[code]), &row, &col, &rs, &cs);
        return std::pair{row, col};
    };
    EXPECT_EQ(position(0), (std::pair{0, 0}));
    EXPECT_EQ(position(6), (std::pair{6, 0}));
    EXPECT_EQ(position(7), (std::pair{0, 1}));
    EXPECT_EQ(position(27), (std::pair{6, 3}));
    EXPECT_EQ(position(31), (std::pair{3, 4}));
    EXPECT_EQ(position(127), (std::pair{4, 4}));
    EXPECT_EQ(w().CharList.entries[127]->text(), "DEL");
    EXPECT_EQ(w().CharList.entries[27]->text(), "ESC");

    // CTRL CH shows and hides the picker, the text stays.
    w().Text2->setText(QStringLiteral("keep"));
    w().cmdCtrlPre->click();
    EXPECT_FALSE(w().CharList.frame->isHidden());
    w().cmdCtrlPre->click();
    EXPECT_TRUE(w().CharList.frame->isHidden());
    EXPECT_EQ(w().Text2->text(), "keep");

    w().Text2->clear();
    w().cmdCtrlPre->click();
    pick(w().CharList, 27);
    EXPECT_EQ(w().Text2->text(), "[ESC]");
    EXPECT_EQ(w().Text2->cursorPosition(), 5);
    EXPECT_TRUE(w().CharList.frame->isHidden());

    w().Text2->setText(QStringLiteral("AB"));
    w().Text2->setCursorPosition(1);
    pick(w().CharList, 13);
    EXPECT_EQ(w().Text2->text(), "A[CR]B");
    EXPECT_EQ(w().Text2->cursorPosition(), 5);

    w().Text2->selectAll();
    pick(w().CharList, 127);
    EXPECT_EQ(w().Text2->text(), "[DEL]");

    // The suffix picker changes only the suffix box.
    pick(w().CharList2, 2);
    EXPECT_EQ(w().Text3->text(), "[STX]");
    EXPECT_EQ(w().Text2->text(), "[DEL]");

    // A name that would not fit the 40 characters is refused whole.
    w().Text3->setText(QString(37, QLatin1Char('x')));
    w().Text3->setCursorPosition(37);
    pick(w().CharList2, 13);
    EXPECT_EQ(w().Text3->text(), QString(37, QLatin1Char('x')));
    w().Text3->setText(QString(36, QLatin1Char('x')));
    w().Text3->setCursorPosition(0);
    pick(w().CharList2, 13);
    EXPECT_EQ(w().Text3->text(), QStringLiteral("[CR]") + QString(36, QLatin1Char('x')));

    // A typed name is the same text as a picked one.
    w().Text2->setText(QStringLiteral("A[CR]"));
    EXPECT_EQ(value("PREFIX"), "A[CR]");
}

TEST(BracketInsertion, SelectionAndBounds) {
    using settings::insertBracketName;
    auto r = insertBracketName(QStringLiteral("ABCD"), 1, 2, QStringLiteral("LF"), 40);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "A[LF]D");
    EXPECT_EQ(r->caret, 5);
    r = insertBracketName(QStringLiteral("AB"), 99, 5, QStringLiteral("CR"), 40);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "AB[CR]");
    EXPECT_FALSE(insertBracketName(QString(39, 'a'), 0, 0, QStringLiteral("CR"), 40));
    EXPECT_TRUE(insertBracketName(QString(39, 'a'), 0, 3, QStringLiteral("CR"), 40));
}

TEST_F(SettingsWindowTest, SaveWritesTwentyFiveRecordsAndOpenRestoresAllButTheHandshake) {
    const std::string file = path("setup.txt");
    answerFile(file);
    form_->mnusave_Click();
    ASSERT_EQ(dialogs_.fileDialogs().size(), 1u);
    const auto& req = dialogs_.fileDialogs()[0];
    EXPECT_TRUE(req.save);
    EXPECT_EQ(req.title, "Select a TXT file");
    EXPECT_EQ(req.filters, (QStringList{"All files|*.*", "Text Files (*.txt)|*.txt"}));
    EXPECT_EQ(req.filterIndex, 2);
    EXPECT_FALSE(req.mustExist) << "saving takes a new name";
    EXPECT_FALSE(req.confirmOverwrite) << "an existing file is replaced without asking";
    const std::string saved = readFile(file);
    EXPECT_EQ(settings::SplitRecords(saved).size(), 25u);
    EXPECT_EQ(saved.rfind(S + "<RSBAUD=9600>" + E + S + "<RSPRTY=NONE>" + E, 0), 0u);
    EXPECT_EQ(saved.substr(saved.size() - 2), "\r\n");
    EXPECT_EQ(saved.find("RSCTSE"), std::string::npos);

    // Change everything, then open: all but CTS / RTS come back.
    w().Text10->setText(QStringLiteral("250"));
    w().Text2->setText(QStringLiteral("[STX]pre"));
    w().Text3->setText(QStringLiteral("suf[CR]"));
    answerFile(file);
    form_->mnusave_Click();
    for (int k = 0; k < settings::kSetupKeyCount; ++k) {
        const auto& key = settings::setupKeys()[k];
        if (key.optionCount > 0)
            w().chooseOption(k, (key.initial + 1) % key.optionCount);
    }
    w().Text10->setText(QStringLiteral("9"));
    w().Text2->setText(QStringLiteral("other"));
    w().Text3->clear();
    const std::string ctsBefore = value("RSCTSE");
    answerFile(file);
    form_->mnuopen_Click();
    EXPECT_EQ(dialogs_.fileDialogs().back().save, false);
    EXPECT_TRUE(dialogs_.fileDialogs().back().mustExist) << "opening takes existing files only";
    EXPECT_EQ(value("RSCTSE"), ctsBefore);
    EXPECT_EQ(w().Text10->text(), "250");
    EXPECT_EQ(w().Text2->text(), "[STX]pre");
    EXPECT_EQ(w().Text3->text(), "suf[CR]");
    for (int k = 0; k < settings::kSetupKeyCount; ++k) {
        const auto& key = settings::setupKeys()[k];
        if (key.optionCount > 0 && key.key != "RSCTSE") {
            EXPECT_EQ(w().chosenOption(k), key.initial) << key.key;
        }
    }
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(SettingsWindowTest, TheQtSaveDialogTakesANewNameAndReplacesAnOldFileWithoutAsking) {
    vort::dialogs::setDialogs(nullptr); // the real dialog (offscreen); the fixture's comes back
    const std::string file = path("new-setup.txt");
    {
        vort::test::QtFileDialogDriver driver(QString::fromStdString(file));
        form_->mnusave_Click();
        EXPECT_EQ(driver.raised(), QStringList{}) << "the dialog refused a new name";
        EXPECT_EQ(driver.firstFilter(), "Text Files (*.txt)");
    }
    ASSERT_TRUE(fileExists(file));
    EXPECT_EQ(settings::SplitRecords(readFile(file)).size(), 25u);

    // Again onto the file that now exists: replaced, no question.
    writeFile(file, "old");
    {
        vort::test::QtFileDialogDriver driver(QString::fromStdString(file));
        form_->mnusave_Click();
        EXPECT_EQ(driver.raised(), QStringList{});
    }
    EXPECT_EQ(settings::SplitRecords(readFile(file)).size(), 25u);

    // Opening still takes only a file that exists: the dialog says so, nothing changes.
    w().Text10->setText(QStringLiteral("77"));
    {
        vort::test::QtFileDialogDriver driver(QString::fromStdString(path("missing.txt")));
        form_->mnuopen_Click();
        EXPECT_EQ(driver.raised().size(), 1);
    }
    EXPECT_EQ(w().Text10->text(), "77");
    vort::dialogs::setDialogs(&dialogs_);
}

TEST_F(SettingsWindowTest, OpenTakesAnyRecordListAndCancelAndFailuresLoseNothing) {
    const std::string hand = path("hand.txt");
    writeFile(hand,
              "junk" + S + "<RSCTSE=1>" + E + "\r\n" + S + "<SPVOLU=LOW>" + E + S + "<MAG1EN=0>");
    answerFile(hand);
    form_->mnuopen_Click();
    EXPECT_EQ(value("RSCTSE"), "1");
    EXPECT_EQ(value("SPVOLU"), "LOW");
    EXPECT_EQ(value("MAG1EN"), "1"); // last record without EOT ignored

    const std::string plain = path("plain.txt");
    writeFile(plain, "<RSBAUD=1200>\r\njust text\r\n");
    answerFile(plain);
    form_->mnuopen_Click();
    EXPECT_EQ(value("RSBAUD"), "9600");

    // Cancel: nothing happens, no box, no file.
    dialogs_.answerFile(vort::dialogs::FileDialogResult{});
    form_->mnusave_Click();
    dialogs_.answerFile(vort::dialogs::FileDialogResult{});
    form_->mnuopen_Click();
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_EQ(value("SPVOLU"), "LOW");

    // A read-only file cannot be saved over: the system's number and words.
    const std::string locked = path("locked.txt");
    writeFile(locked, "old");
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    if (geteuid() != 0) {
        answerFile(locked);
        dialogs_.answer(vort::dialogs::Answer::Ok, QStringLiteral("Error # 13 Permission denied"));
        form_->mnusave_Click();
        ASSERT_EQ(dialogs_.boxes().size(), 1u);
        EXPECT_EQ(dialogs_.boxes()[0].title, "Error");
        EXPECT_EQ(dialogs_.boxes()[0].icon, Icon::Critical);
        EXPECT_EQ(readFile(locked), "old");
    }
    // A file that does not exist cannot be opened; the window keeps its choices.
    answerFile(path("missing.txt"));
    dialogs_.answer(vort::dialogs::Answer::Ok,
                    QStringLiteral("Error # 2 No such file or directory"));
    form_->mnuopen_Click();
    EXPECT_EQ(value("SPVOLU"), "LOW");

    // Something far larger than a setup file (or endless, like a device) is refused
    // whole, with the system's words for it; nothing of it is applied.
    const std::string huge = path("huge.txt");
    writeFile(huge, S + "<SPVOLU=OFF>" + E);
    ASSERT_EQ(truncate(huge.c_str(), 17 * 1024 * 1024), 0);
    answerFile(huge);
    dialogs_.answer(vort::dialogs::Answer::Ok, QStringLiteral("Error # 27 File too large"));
    form_->mnuopen_Click();
    EXPECT_EQ(value("SPVOLU"), "LOW");
    answerFile("/dev/zero");
    dialogs_.answer(vort::dialogs::Answer::Ok, QStringLiteral("Error # 27 File too large"));
    form_->mnuopen_Click();
    EXPECT_EQ(value("SPVOLU"), "LOW");
}

TEST_F(SettingsWindowTest, SaveKeepsALinkedPrivateFileAndRefusesAFifoAtOnce) {
    const std::string kept = path("kept.txt");
    writeFile(kept, "old");
    ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
    const std::string link = path("link.txt");
    ASSERT_EQ(symlink(kept.c_str(), link.c_str()), 0);
    answerFile(link);
    form_->mnusave_Click();
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_TRUE(vort::test::isSymlink(link));
    EXPECT_EQ(settings::SplitRecords(readFile(kept)).size(), 25u);
    EXPECT_EQ(vort::test::permissionsOf(kept), 0600);

    const std::string fifo = path("fifo.txt");
    vort::test::makeFifo(fifo);
    answerFile(fifo);
    dialogs_.answer(
        vort::dialogs::Answer::Ok,
        QString::fromStdString("Error # 75 " + fifo + ": a FIFO (named pipe), not a regular file"));
    EXPECT_TRUE(vort::test::endsWithoutBlocking(fifo, [&] { form_->mnusave_Click(); }));
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].title, "Error");
    EXPECT_TRUE(vort::test::isFifo(fifo));
}

} // namespace
} // namespace tcu::test
