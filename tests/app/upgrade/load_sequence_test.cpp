// The firmware load through the program's own menu handler, against the simulator:
// the refusals before anything is sent, whole loads that end with the scanner found
// again at its new revision, and Cancel during the transfer.
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>

#include "app/forms/form3.h"
#include "app/identity/identity_fields.h"
#include "app/link/baud_detect.h"
#include "app/link/port_settings_file.h"
#include "platform/component/dispatch.h"
#include "platform/component/result.h"
#include "support/wait.h"
#include "tcu_fixture.h"
#include "tools/scanner-sim/sha256.h"
#include "vort/dispids.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;
using vort::dialogs::Buttons;
using vort::dialogs::Icon;

// Stands between the program and its control and notes every property write, in order.
// Lives on the test's stack; its reference count only guards against misuse.
class RecordingDispatch final : public vort::component::Dispatch {
public:
    explicit RecordingDispatch(vort::component::Dispatch* inner) : inner_(inner) {}
    vort::component::InvokeResult invoke(int32_t dispid, vort::component::InvokeKind kind,
                                         std::span<vort::component::Variant> args,
                                         vort::component::Variant* result) override {
        if (kind == vort::component::InvokeKind::PropertyPut)
            puts.push_back(dispid);
        return inner_->invoke(dispid, kind, args, result);
    }
    int32_t getIdsOfNames(std::string_view name, int32_t* dispid) override {
        return inner_->getIdsOfNames(name, dispid);
    }
    const vort::component::InterfaceInfo* typeInfo() override { return inner_->typeInfo(); }
    int32_t queryInterface(const vort::component::Guid& iid, void** out) override {
        if (iid == Dispatch::kIid || iid == Unknown::kIid) {
            *out = static_cast<Dispatch*>(this);
            addRef();
            return vort::component::kOk;
        }
        return inner_->queryInterface(iid, out);
    }
    uint32_t addRef() override { return ++refs_; }
    uint32_t release() override { return --refs_; }

    std::vector<int32_t> puts;

private:
    vort::component::Dispatch* inner_;
    uint32_t refs_ = 0;
};

class LoadSequenceTest : public TcuTest {
protected:
    void start(int baud, std::vector<std::string> extra = {}) {
        TcuTest::SetUp();
        startSim(1, baud, std::move(extra));
        ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
        loadForm();
        core().IniPortCom = QStringLiteral("1");
        core().ParityLetter = QStringLiteral("N");
        openPort1(QString::number(baud) + QStringLiteral(",N,8,1"));
        recordPanel2();
        ASSERT_TRUE(sim_->clearFrames());
    }
    void SetUp() override {} // each test starts the simulator at its own rate

    std::string writeImage(const std::string& name, const std::string& bytes) {
        const std::string path = scratch_ + "/" + name;
        writeFile(path, bytes);
        return path;
    }
    void chooseFile(const std::string& path) {
        vort::dialogs::FileDialogResult r;
        r.cancelled = false;
        r.path = QString::fromStdString(path);
        r.filterIndex = 2;
        dialogs_.answerFile(r);
    }
    std::vector<std::string> sentTokens() {
        std::vector<std::string> tokens;
        for (const std::string& f : sim_->frames())
            tokens.push_back(f.substr(1, f.size() - 2));
        return tokens;
    }
    // Runs the event loop until done() holds or timeoutMs passes.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
        return vort::test::waitFor(done, timeoutMs, [] { QApplication::processEvents(); });
    }
    bool boxShown(const QString& title) {
        const auto& boxes = dialogs_.boxes();
        return std::any_of(boxes.begin(), boxes.end(),
                           [&](const auto& b) { return b.title == title; });
    }
    QString app1Shown() { return form_->identity().labRevision[1]->text().trimmed(); }

    // A whole load of a 3.30 image into the scanner at 3.22, through to the setup read
    // after the restart. Returns the simulator's report of the image.
    vort::test::ScannerSimImage loadNewerImage(size_t bodySize) {
        const std::string bytes = vort::test::firmwareImage("3.30", bodySize);
        const std::string path = writeImage("app1.bin", bytes);
        const uint64_t before = sim_->loadsEnded();
        chooseFile(path);
        dialogs_.answer(Answer::Yes, QStringLiteral("Do You Want to Update the ROM?"));
        dialogs_.answer(Answer::Ok, QStringLiteral("RESTART the scanner by DISCONNET and "
                                                   "RECONNECT the power cable\r"
                                                   "then press OK to continue"));
        form_->mnuload_2->trigger();
        EXPECT_TRUE(form_->form3Loaded()) << "the job runs with the window open";
        EXPECT_TRUE(form_->form3().isVisible());
        EXPECT_EQ(form_->form3().texts[2]->text(), " 3.30   ");
        EXPECT_EQ(form_->form3().texts[1]->text(), " BEEF");

        const auto image = sim_->waitForImage(before, std::chrono::seconds(60));
        EXPECT_TRUE(image.has_value());
        // The job watch, the 7 s completion wait, the restart box, the detection, the
        // ping and Receive all run from the window's timers.
        EXPECT_TRUE(pumpUntil(
            [&] {
                return boxShown(QStringLiteral("Restart")) && !form_->linkBusy() &&
                       app1Shown() == "3.30";
            },
            30000))
            << "shown: " << app1Shown().toStdString();
        EXPECT_FALSE(form_->form3Loaded());
        EXPECT_EQ(form_->CommCtl1.inputMode(), 0) << "text mode again";
        EXPECT_EQ(form_->CommCtl1.protocol(), 0);
        EXPECT_TRUE(dialogs_.exhausted());
        if (image) {
            EXPECT_TRUE(image->ok) << image->error;
            EXPECT_EQ(image->sha256, scanner_sim::sha256Hex(bytes.data(), bytes.size()));
            EXPECT_EQ(image->size, bytes.size());
            EXPECT_EQ(image->target, "A1CODE");
            EXPECT_EQ(image->version, "3.30");
        }
        const auto tokens = sentTokens();
        EXPECT_NE(std::find(tokens.begin(), tokens.end(), "<A1CODE=Z>"), tokens.end());
        EXPECT_NE(std::find(tokens.begin(), tokens.end(), "<TXPING:>"), tokens.end());
        EXPECT_EQ(tokens.back(), "<REGKEY:>") << "Receive ran to its last identity query";
        return image.value_or(vort::test::ScannerSimImage{});
    }
};

// ---- Whole loads ------------------------------------------------------------------

TEST_F(LoadSequenceTest, NewerImageLoadsAndTheScannerShowsItsNewRevision) {
    start(9600);
    RecordingDispatch recorder(form_->CommCtl1.proxy().dispatch());
    const CommControl direct = form_->CommCtl1;
    form_->CommCtl1 = CommControl(
        vort::component::DispatchProxy(vort::component::Ref<vort::component::Dispatch>(&recorder)));
    loadNewerImage(200 * 1024);
    form_->CommCtl1 = direct;

    // The control sees the transfer set up in this order, FileTransmit last.
    using namespace vort;
    const std::vector<int32_t> jobSetup = {kDispInputLen, kDispComType,     kDispInputMode,
                                           kDispProtocol, kDispRThreshold,  kDispSThreshold,
                                           kDispFileName, kDispFileTransmit};
    const auto at =
        std::search(recorder.puts.begin(), recorder.puts.end(), jobSetup.begin(), jobSetup.end());
    EXPECT_NE(at, recorder.puts.end()) << "property writes not in the job's order";
    EXPECT_FALSE(boxShown(QStringLiteral("WARNING")));
    EXPECT_EQ(form_->CommCtl1.settings(), "9600,N,8,1");
}

TEST_F(LoadSequenceTest, FastLoadSwitchesTo115200AndTheScannerIsFoundThere) {
    start(19200);
    form_->mnuload_5->trigger();
    loadNewerImage(300 * 1024);
    const auto tokens = sentTokens();
    EXPECT_NE(std::find(tokens.begin(), tokens.end(), "<RSBAUD=115200>"), tokens.end());
    EXPECT_EQ(core().SavedPortSettings, "19200,N,8,1");
    // The scanner stays at the rate of the transfer, and the detection finds it there.
    EXPECT_EQ(form_->CommCtl1.settings(), "115200,N,8,1");
    EXPECT_EQ(sim_->line(), "115200,N,8,1");
}

TEST_F(LoadSequenceTest, ImageArrivesIntactWithLrzszAsTheReceiver) {
    start(9600, {"--rz"});
    loadNewerImage(150 * 1024 + 77);
}

// ---- Cancel -----------------------------------------------------------------------

TEST_F(LoadSequenceTest, CancelStopsTheJobSwitchesTheRateBackAndKeepsTheLink) {
    start(9600);
    form_->mnuload_5->trigger();
    const std::string path = writeImage("big.bin", vort::test::firmwareImage("3.30", 24 << 20));
    const uint64_t before = sim_->loadsEnded();
    chooseFile(path);
    dialogs_.answer(Answer::Yes, QStringLiteral("Do You Want to Update the ROM?"));
    form_->mnuload_Click(2);
    ASSERT_TRUE(form_->form3Loaded());
    Form3& upload = form_->form3();
    ASSERT_TRUE(pumpUntil([&] { return upload.ProgressBar1->isVisible(); }, 20000))
        << "no progress reported";

    // No: everything goes on.
    dialogs_.answer(Answer::No, QStringLiteral("Do you want to CANCEL the file transfer?"));
    upload.Command1->click();
    EXPECT_TRUE(form_->form3Loaded());
    EXPECT_TRUE(upload.Timer1.isEnabled());
    EXPECT_TRUE(upload.Timer3.isEnabled());
    EXPECT_TRUE(form_->CommCtl1.fileTransmit());
    EXPECT_EQ(dialogs_.boxes().back().title, "Abort file transfer...");

    ASSERT_TRUE(sim_->clearFrames());
    dialogs_.answer(Answer::Yes, QStringLiteral("Do you want to CANCEL the file transfer?"));
    upload.Command1->click();
    EXPECT_FALSE(form_->form3Loaded());
    EXPECT_FALSE(upload.isVisible());
    EXPECT_FALSE(form_->CommCtl1.fileTransmit());
    EXPECT_FALSE(form_->CommCtl1.jobProcessing());
    EXPECT_EQ(form_->CommCtl1.settings(), "9600,N,8,1");
    EXPECT_EQ(form_->CommCtl1.inputMode(), 0);

    const auto image = sim_->waitForImage(before, std::chrono::seconds(30));
    ASSERT_TRUE(image.has_value());
    EXPECT_FALSE(image->ok) << "the scanner saw the transfer stop";
    EXPECT_EQ(sim_->get("APP1RV").value_or(""), "3.22");
    // The scanner got the way back at 115200 and the link works at 9600.
    const auto tokens = sentTokens();
    EXPECT_NE(std::find(tokens.begin(), tokens.end(), "<RSBAUD=9600>"), tokens.end());
    EXPECT_EQ(sim_->line(), "9600,N,8,1");
    form_->cmdReceive_Click();
    EXPECT_EQ(sentTokens().back(), "<REGKEY:>");
    EXPECT_TRUE(dialogs_.exhausted());
    EXPECT_EQ(app1Shown(), "3.22");
}

TEST_F(LoadSequenceTest, ClosingTheWindowStopsTheJobWithoutAskingOrSwitchingBack) {
    start(9600);
    form_->mnuload_5->trigger();
    const std::string path = writeImage("big.bin", vort::test::firmwareImage("3.30", 24 << 20));
    chooseFile(path);
    dialogs_.answer(Answer::Yes);
    form_->mnuload_Click(2);
    ASSERT_TRUE(form_->form3Loaded());
    ASSERT_TRUE(pumpUntil([&] { return form_->CommCtl1.jobProcessing(); }, 20000));
    const size_t boxes = dialogs_.boxes().size();
    form_->form3().close();
    EXPECT_FALSE(form_->form3Loaded());
    // The stop is asked for, not waited for: the job ends on its own thread.
    EXPECT_TRUE(pumpUntil([&] { return !form_->CommCtl1.jobProcessing(); }, 15000));
    EXPECT_FALSE(form_->CommCtl1.fileTransmit());
    EXPECT_EQ(dialogs_.boxes().size(), boxes) << "no question";
    EXPECT_EQ(form_->CommCtl1.settings(), "115200,N,8,1") << "the rate stays";
    // A late progress report does not bring the window back.
    QApplication::processEvents();
    EXPECT_FALSE(form_->form3Loaded());
}

// ---- Refusals before anything is sent ---------------------------------------------

TEST_F(LoadSequenceTest, FileChoiceAndSizeDecideWhetherTheLoadStarts) {
    start(9600);
    // Cancelled dialog: nothing.
    dialogs_.answerFile({});
    form_->mnuload_Click(2);
    ASSERT_EQ(dialogs_.fileDialogs().size(), 1u);
    const auto& request = dialogs_.fileDialogs()[0];
    EXPECT_EQ(request.title, "Select a BIN file");
    EXPECT_EQ(request.filters, (QStringList{"All files|*.*", "BIN Files (*.bin)|*.bin"}));
    EXPECT_EQ(request.filterIndex, 2);
    EXPECT_TRUE(request.mustExist);
    EXPECT_FALSE(form_->form3Loaded());

    // The header alone: closed again, no window, no box.
    chooseFile(writeImage("108.bin", vort::test::firmwareImage("3.30", 0)));
    form_->mnuload_Click(2);
    EXPECT_FALSE(form_->form3Loaded());
    EXPECT_TRUE(dialogs_.boxes().empty());

    // One byte more: the header is shown and the ROM question asked; No closes it.
    chooseFile(writeImage("109.bin", vort::test::firmwareImage("3.30", 1)));
    dialogs_.answer(Answer::No, QStringLiteral("Do You Want to Update the ROM?"));
    form_->mnuload_Click(2);
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].title, "Application 1 File into ROM...");
    EXPECT_EQ(dialogs_.boxes()[0].buttons, Buttons::YesNo);
    EXPECT_FALSE(form_->form3Loaded());
    EXPECT_TRUE(sim_->frames().empty());
    EXPECT_TRUE(dialogs_.exhausted());
}

TEST_F(LoadSequenceTest, OlderImagesNeedTheWarningAnsweredYes) {
    start(9600);
    const std::string older = writeImage("321.bin", vort::test::firmwareImage("3.21", 10));
    // 3.21 into 3.22: WARNING, No: the window closes, only the revision was asked.
    chooseFile(older);
    dialogs_.answer(Answer::Yes);
    dialogs_.answer(Answer::No, QStringLiteral("You are about to program the scanner with a "
                                               "OLDER revision\rDo you want to continue ?"));
    form_->mnuload_Click(2);
    EXPECT_EQ(dialogs_.boxes().back().title, "WARNING");
    EXPECT_FALSE(form_->form3Loaded());
    EXPECT_EQ(sentTokens(), std::vector<std::string>{"<APP1RV:>"});

    // Check_Rev on its own, with the image version in Text3.
    Form3& upload = form_->form3();
    upload.texts[2]->setText(QStringLiteral(" 3.22   "));
    EXPECT_EQ(form_->Check_Rev(QStringLiteral("<A1CODE=Z>")), int16_t{1}) << "equal: no question";
    upload.texts[2]->setText(QStringLiteral(" 3.30   "));
    EXPECT_EQ(form_->Check_Rev(QStringLiteral("<A1CODE=Z>")), int16_t{1});
    upload.texts[2]->setText(QStringLiteral(" 3.3    "));
    dialogs_.answer(Answer::Yes);
    EXPECT_EQ(form_->Check_Rev(QStringLiteral("<A1CODE=Z>")), int16_t{1}) << "33 < 322: asked";
    EXPECT_EQ(dialogs_.boxes().back().title, "WARNING");
    // Only application 1 gets a go-ahead; the others get no value at all.
    EXPECT_EQ(form_->Check_Rev(QStringLiteral("<A2CODE=Z>")), std::nullopt);
    EXPECT_EQ(form_->Check_Rev(QStringLiteral("<BTCODE=Z>")), std::nullopt);
    // The scanner not answering: 0.
    ASSERT_TRUE(sim_->fault("ignore 3"));
    EXPECT_EQ(form_->Check_Rev(QStringLiteral("<A1CODE=Z>")), int16_t{0});
    EXPECT_TRUE(dialogs_.exhausted());
}

TEST_F(LoadSequenceTest, ErrorsEndTheLoadWithTheirBoxes) {
    start(9600);
    // Letters in the version: type mismatch; the window stays open.
    chooseFile(writeImage("letters.bin", vort::test::firmwareImage("V3.X", 10)));
    dialogs_.answer(Answer::Yes);
    dialogs_.answer(Answer::Ok, QStringLiteral("Error # 13 Type mismatch"));
    form_->mnuload_Click(2);
    EXPECT_EQ(dialogs_.boxes().back().title, "Error");
    EXPECT_EQ(dialogs_.boxes().back().icon, Icon::Critical);
    EXPECT_TRUE(form_->form3Loaded());
    form_->unloadForm3();

    // A file gone after the choice.
    chooseFile(scratch_ + "/gone.bin");
    dialogs_.answer(Answer::Ok, QStringLiteral("Error # 53 File not found"));
    form_->mnuload_Click(2);

    // A path through a file: the drive box.
    const std::string file = writeImage("plain.bin", "x");
    chooseFile(file + "/inside.bin");
    dialogs_.answer(Answer::Ok, QStringLiteral("Cannot open the drive"));
    form_->mnuload_Click(2);
    EXPECT_EQ(dialogs_.boxes().back().title, "Note");
    EXPECT_EQ(dialogs_.boxes().back().icon, Icon::Information);
    EXPECT_TRUE(dialogs_.exhausted());
    EXPECT_TRUE(sentTokens().empty() || sentTokens() == std::vector<std::string>{"<APP1RV:>"});
}

TEST_F(LoadSequenceTest, RefusedTokenClosesTheWindowBeforeTheJob) {
    // Without a transfer library the scanner refuses load tokens.
    start(9600, {"--transfer-library", "/nonexistent/libtransvex.so"});
    const std::string path = writeImage("app1.bin", vort::test::firmwareImage("3.30", 10));
    chooseFile(path);
    dialogs_.answer(Answer::Yes);
    form_->mnuload_Click(2);
    EXPECT_FALSE(form_->form3Loaded()) << "token not acknowledged closes the window";
    EXPECT_FALSE(form_->CommCtl1.fileTransmit());
    EXPECT_EQ(form_->CommCtl1.inputMode(), 0);
    const auto tokens = sentTokens();
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "<A1CODE=Z>"), 3) << "three attempts";

    dialogs_.clear();
    // Any other index does nothing.
    form_->mnuload_Click(4);
    EXPECT_TRUE(dialogs_.fileDialogs().empty());
}

} // namespace
} // namespace tcu::test
