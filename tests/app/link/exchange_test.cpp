// The command exchange engine against the real control, over real pseudo-terminals: the
// scanner simulator where its behaviour is what matters, a scripted peer where the
// exact bytes and times on the line are.
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

#include "app/identity/revision_state.h"
#include "app/link/exchange.h"
#include "app/link/message_pump.h"
#include "frame_peer.h"
#include "support/pty_pair.h"
#include "support/wait.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

using vort::dialogs::Answer;
using vort::dialogs::Buttons;
using vort::dialogs::Icon;

const QString kRevQuery = QStringLiteral("<APP1RV:>");

// The main window on an open port, as after a detection that found the scanner.
class ExchangeTest : public TcuTest {
protected:
    // Opens port 1 at settings with everything read at once, as after a detection.
    void openPort(const QString& settings = QStringLiteral("9600,N,8,1")) {
        openPort1(settings);
        recordPanel2();
    }
    // A scripted peer on port 1.
    FramePeer& usePeer() {
        peer_ = std::make_unique<FramePeer>();
        portMap_ = std::make_unique<vort::test::ScopedPortMap>();
        portMap_->map(1, peer_->devicePath());
        useConfigHome(portMap_->configHome());
        return *peer_;
    }
    int16_t exchangeTimed(const QString& token, long long* ms) {
        const auto start = Clock::now();
        const int16_t r = form_->ExchangeCommand(token);
        *ms = msSince(start);
        return r;
    }
    void TearDown() override {
        form_.reset();
        peer_.reset();
        portMap_.reset();
        TcuTest::TearDown();
    }

    std::unique_ptr<FramePeer> peer_;
    std::unique_ptr<vort::test::ScopedPortMap> portMap_;
};

TEST_F(ExchangeTest, NakNakAckSucceedsOnTheThirdFrameCountingAttempts) {
    startSim(1, 9600, {"--fault", "nak 2"});
    openPort();
    EXPECT_EQ(form_->ExchangeCommand(kRevQuery), 1);
    EXPECT_EQ(panel2_,
              QStringList({"TIME OUT COUNT = 0", "TIME OUT COUNT = 1", "TIME OUT COUNT = 2"}));
    EXPECT_EQ(sim_->frames(), std::vector<std::string>(3, "\x01<APP1RV:>\x04"));
    EXPECT_EQ(core().App1RevNumber, 322);
    EXPECT_EQ(form_->sbrStatus->panelText(1), "Settings: 9600,N,8,1  Com Port: 1");
}

TEST_F(ExchangeTest, SilenceGivesThreeFramesOneSecondApartAndFails) {
    FramePeer& peer = usePeer();
    openPort();
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(QStringLiteral("<SPVOLU=HIGH>"), &ms), 0);
    const auto frames = peer.frames();
    ASSERT_EQ(frames.size(), 3u);
    for (size_t i = 1; i < frames.size(); ++i) {
        const auto gap =
            std::chrono::duration_cast<std::chrono::milliseconds>(frames[i].at - frames[i - 1].at)
                .count();
        EXPECT_GE(gap, 950);
        EXPECT_LE(gap, 1250);
    }
    EXPECT_EQ(frames[0].bytes, "\x01<SPVOLU=HIGH>\x04");
    EXPECT_GE(ms, 2950);
    EXPECT_LE(ms, 3600);
    EXPECT_EQ(panel2_.last(), "TIME OUT COUNT = 2");
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_FALSE(form_->Timer1.isEnabled());
}

TEST_F(ExchangeTest, StrayBytesBeforeTheAckAreDroppedAndAckAndAnswerInOneReadComplete) {
    FramePeer& peer = usePeer();
    openPort();
    // 0x41 0x42 then the ACK: the letters never end the attempt.
    peer.script({{"AB\x06"}});
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(QStringLiteral("<SPVOLU=HIGH>"), &ms), 1);
    EXPECT_LT(ms, 900);
    EXPECT_EQ(panel2_, QStringList({"TIME OUT COUNT = 0"}));

    // ACK and the whole answer in one write: the text after the ACK is the answer.
    peer.script({{"\x06"
                  "3.22   \r\n"}});
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 1);
    EXPECT_LT(ms, 900);
    EXPECT_EQ(core().AnswerBuffer, "3.22   \r\n");
    EXPECT_EQ(core().App1RevNumber, 322);

    // The answer ends at the first CR LF; what came in the same read stays behind it.
    peer.script({{"\x06"
                  "3.21\r\nXY"}});
    EXPECT_EQ(form_->ExchangeCommand(kRevQuery), 1);
    EXPECT_EQ(core().AnswerBuffer, "3.21\r\nXY");
    EXPECT_EQ(core().App1RevNumber, 321);

    // An ACK and an answer left on the line before the call are not taken for this
    // exchange's: the real ones come 50 ms after the frame.
    const std::string stray = "\x06"
                              "1.11\r\n";
    peer.send(stray);
    ASSERT_TRUE(vort::test::waitFor(
        [&] { return core().PendingInput.size() == static_cast<qsizetype>(stray.size()); }, 3000,
        PumpMessages));
    peer.script({{"\x06"
                  "3.20\r\n",
                  50}});
    EXPECT_EQ(form_->ExchangeCommand(kRevQuery), 1);
    EXPECT_EQ(core().App1RevNumber, 320);
}

TEST_F(ExchangeTest, TheReceiveEventDrainsTheControlIntoPendingInput) {
    FramePeer& peer = usePeer();
    openPort();
    // Nobody reads Input here: only the control's OnComm moves the text, one read of
    // Input per event; with InputLen 0 that is everything waiting.
    peer.send("hello");
    vort::test::waitFor([&] { return core().PendingInput.size() == 5; }, 3000, PumpMessages);
    EXPECT_EQ(core().PendingInput, "hello");
    EXPECT_EQ(form_->ReadPortText(true), "hello");
    EXPECT_EQ(core().PendingInput, "");

    // With InputLen 1 the event takes one character; the rest waits in the control for
    // the next read, and nothing is lost between the two.
    form_->CommCtl1.setInputLen(1);
    peer.send("abc");
    ASSERT_TRUE(vort::test::waitFor(
        [&] {
            return !core().PendingInput.isEmpty() &&
                   core().PendingInput.size() + form_->CommCtl1.inBufferCount() == 3;
        },
        3000, PumpMessages));
    // Room for a wrong second event to show: it would move another character.
    for (auto start = Clock::now(); msSince(start) < 100;)
        PumpMessages();
    EXPECT_EQ(core().PendingInput, "a");
    EXPECT_EQ(form_->ReadPortText(true), "ab");
    EXPECT_EQ(form_->ReadPortText(true), "c");
}

TEST_F(ExchangeTest, AnswerRulesFailuresShowTheErrorBoxAndGiveZero) {
    FramePeer& peer = usePeer();
    openPort();
    core().App1RevNumber = 250;
    // Characters 1, 3 and 4 of "V1.05" are V . 0: not a number.
    peer.script({{"\x06V1.05  \r\n"}});
    dialogs_.answer(Answer::Ok, QStringLiteral("Type mismatch"));
    EXPECT_EQ(form_->ExchangeCommand(kRevQuery), 0);
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].icon, Icon::Exclamation);
    EXPECT_EQ(dialogs_.boxes()[0].buttons, Buttons::Ok);
    EXPECT_EQ(dialogs_.boxes()[0].title, "TCU1");
    EXPECT_EQ(core().App1RevNumber, 250);
    EXPECT_FALSE(form_->Timer1.isEnabled());

    // A query answered without CR LF times out; its rule is not applied.
    peer.script({{"\x06"
                  "3.22"}});
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 0);
    EXPECT_GE(ms, 1450);
    EXPECT_LE(ms, 2200);
    EXPECT_EQ(core().App1RevNumber, 250);
    EXPECT_EQ(peer.frames().size(), 2u) << "an answer time-out is not retried";
}

TEST_F(ExchangeTest, AnswerWaitIs1500MsAt9600) {
    startSim(1, 9600, {"--fault", "delay 1150"});
    openPort();
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 1);
    ASSERT_TRUE(sim_->fault("delay 1850"));
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 0) << "acknowledged, but the answer came late";
    EXPECT_GE(ms, 1450);
    EXPECT_LE(ms, 1850);
    EXPECT_EQ(sim_->frames().size(), 2u);
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(ExchangeTest, AnswerWaitIs2500MsAt2400) {
    startSim(1, 2400, {"--fault", "delay 2100"});
    openPort(QStringLiteral("2400,N,8,1"));
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 1);
    EXPECT_GE(ms, 2100);
    ASSERT_TRUE(sim_->fault("delay 2900"));
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 0);
    EXPECT_GE(ms, 2450);
    EXPECT_LE(ms, 2900);
}

TEST_F(ExchangeTest, AWholeSetupAt1200BaudIsNotCutOffWhileItStillArrives) {
    // About 400 bytes at the line's own pace take some 3.5 s, more than one answer wait.
    startSim(1, 1200, {"--slow"});
    openPort(QStringLiteral("1200,N,8,1"));
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(QStringLiteral("<SETPAR:>"), &ms), 1);
    EXPECT_GT(ms, 2500);
    EXPECT_TRUE(core().AnswerBuffer.endsWith("\r\n"));
    EXPECT_EQ(core().AnswerBuffer.count(QChar(0x01)), 26);
    EXPECT_EQ(form_->sbrStatus->panelText(2), "Current Settings");
}

TEST_F(ExchangeTest, ClosedPortGivesThreeSilentAttemptsWithoutABox) {
    loadForm();
    recordPanel2();
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 0);
    EXPECT_GE(ms, 2950);
    EXPECT_EQ(panel2_.size(), 3);
    EXPECT_EQ(form_->sbrStatus->panelText(1), "Settings: Closed");
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(ExchangeTest, AFloodingLineNeverHangsTheExchange) {
    FramePeer& peer = usePeer();
    openPort();
    // Noise while the ACK is awaited: three failed attempts, on time.
    peer.flood(true);
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(QStringLiteral("<SPVOLU=HIGH>"), &ms), 0);
    EXPECT_LE(ms, 4500);
    peer.flood(false);

    // Noise behind the ACK instead of an answer line: the answer wait ends.
    peer.script({{"\x06"}});
    QTimer::singleShot(100, form_.get(), [&peer] { peer.flood(true); });
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 0);
    EXPECT_LE(ms, 8000);
    peer.flood(false);
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_LE(core().PendingInput.size(), kPendingInputLimit + 65000);
}

TEST_F(ExchangeTest, AScannerKilledMidExchangeEndsInFailureNotAHang) {
    startSim(1, 9600, {"--fault", "delay 1000"});
    openPort();
    const pid_t pid = sim_->pid();
    QTimer::singleShot(300, form_.get(), [pid] { ::kill(pid, SIGKILL); });
    long long ms = 0;
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 0);
    EXPECT_LE(ms, 2000);
    // The line is gone for good: the next exchange fails in its normal time, and the
    // hung-up line does not make its waits spin.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(exchangeTimed(kRevQuery, &ms), 0);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LE(ms, 3600);
    const double cpuMs = (after.ru_utime.tv_sec - before.ru_utime.tv_sec + after.ru_stime.tv_sec -
                          before.ru_stime.tv_sec) *
                             1000.0 +
                         (after.ru_utime.tv_usec - before.ru_utime.tv_usec +
                          after.ru_stime.tv_usec - before.ru_stime.tv_usec) /
                             1000.0;
    EXPECT_LT(cpuMs, ms / 2.0) << "a core spun while the line was hung up";
    sim_->stop();
    sim_.reset(); // killed: its stderr is not checked
}

TEST_F(ExchangeTest, AnExchangeStartedDuringAnotherFailsAtOnceAndLeavesItAlone) {
    startSim(1, 9600, {"--fault", "delay 600"});
    openPort();
    int16_t nested = -1;
    long long nestedMs = -1;
    QTimer::singleShot(200, form_.get(), [&] {
        const auto start = Clock::now();
        nested = form_->ExchangeCommand(QStringLiteral("<SETPAR:>"));
        nestedMs = msSince(start);
    });
    EXPECT_EQ(form_->ExchangeCommand(kRevQuery), 1);
    EXPECT_EQ(nested, 0);
    EXPECT_LT(nestedMs, 50);
    EXPECT_EQ(core().App1RevNumber, 322);
    EXPECT_EQ(sim_->frames(), std::vector<std::string>{"\x01<APP1RV:>\x04"});
}

} // namespace
} // namespace tcu::test
