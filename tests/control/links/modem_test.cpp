// The modem job over the simulated Hayes modem on a pseudo-terminal: a dial that
// connects with its OnModem progress and data both ways, BUSY and a time-out that hang
// up by themselves with the library's text, answering a call with an empty number.
#include <gtest/gtest.h>

#include "control/object/vort_ctrl.h"
#include "links_fixture.h"
#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "vort/dispids.h"

using namespace vort;
using component::Variant;
using links_test::ModemSim;
using links_test::narrow;
using links_test::QueueWindow;
using vort::test::waitFor;
using Clock = std::chrono::steady_clock;

namespace {

// The OnModem events the host receives: (Action, TimeLeft).
class ModemSink : public component::EventSink {
public:
    void onEvent(int32_t dispid, std::span<const Variant> args) override {
        if (dispid != kEventOnModem || args.size() != 2)
            return;
        int32_t action = 0, left = 0;
        args[0].toI4(action);
        args[1].toI4(left);
        events.emplace_back(action, left);
    }
    std::vector<std::pair<int32_t, int32_t>> events;
};

class ModemJob : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.start({"--connect-delay", "1500"}));
        map_.map(20, sim_.devicePath());
        ctl_.setNotificationWindow(&window_);
        ctl_.setCommPort(20);
        ctl_.setSettings(u"115200,N,8,1");
        ctl_.setInputMode(1);
        ctl_.setInputLen(0);
    }
    void TearDown() override {
        ctl_.setPortOpen(false);
        ctl_.setNotificationWindow(nullptr);
    }
    // Waits for the dial thread to end.
    bool dialEnds(int ms) {
        return waitFor([&] { return !ctl_.jobProcessing(); }, ms);
    }
    std::string simState() { return sim_.command("state"); }

    ModemSim sim_;
    vort::test::ScopedPortMap map_;
    QueueWindow window_;
    CVortCtrl ctl_;
};

} // namespace

TEST_F(ModemJob, DialConnectsReportsProgressAndPassesData) {
    ctl_.setModemPhoneNumber(u"5551234");
    ctl_.setModemTimeout(10);
    ctl_.setPortOpen(true);
    ctl_.setModemConnect(true);
    EXPECT_TRUE(ctl_.jobProcessing()); // the dial counts as a job
    ctl_.setFileName(u"/nonexistent");
    ctl_.setFileTransmit(true); // blocked while dialling
    EXPECT_FALSE(ctl_.fileTransmit());
    ASSERT_TRUE(dialEnds(8000));
    EXPECT_EQ(narrow(ctl_.modemResult()), "CONNECT 9600");
    EXPECT_TRUE(ctl_.modemConnect());
    // Progress came while waiting (at least twice in 1.5 s), then the connection.
    EXPECT_GE(window_.count(kNotifyModem, MODEM_ACTION_WAITING), 2);
    EXPECT_EQ(window_.count(kNotifyModem, MODEM_ACTION_CONNECTED), 1);
    // Delivered in the owner's thread they are OnModem events with whole seconds left.
    ModemSink sink;
    uint32_t cookie = 0;
    ASSERT_EQ(ctl_.advise(&sink, &cookie), 0);
    window_.deliver(ctl_);
    ctl_.unadvise(cookie);
    ASSERT_GE(sink.events.size(), 3u);
    EXPECT_EQ(sink.events.front().first, MODEM_ACTION_WAITING);
    EXPECT_GE(sink.events.front().second, 9); // about 10 s left at the start
    EXPECT_EQ(sink.events.back().first, MODEM_ACTION_CONNECTED);
    for (const auto& [action, left] : sink.events)
        EXPECT_LE(left, 10);
    const std::string state = simState();
    EXPECT_NE(state.find("ok online"), std::string::npos) << state;
    EXPECT_NE(state.find("number=5551234"), std::string::npos) << state;
    // A 10 s time-out leaves no time for the modem's own carrier wait: S7 is 1, not 0.
    EXPECT_NE(state.find("s7=1 "), std::string::npos) << state;
    EXPECT_NE(sim_.command("commands").find("ATE0L1M0Q0V1&C1&D2&S1S7=1"), std::string::npos);

    // Online, bytes pass (the far end sends them back).
    ctl_.setOutput(Variant::bstr(u"hello, far end"));
    std::string got;
    ASSERT_TRUE(waitFor(
        [&] {
            const Variant v = ctl_.input();
            if (v.isBytes())
                got.append(v.byteArray().begin(), v.byteArray().end());
            return got.size() >= 14;
        },
        3000));
    EXPECT_EQ(got, "hello, far end");

    // Hanging up returns the modem to command mode through the escape and ATH.
    ctl_.setModemConnect(false);
    EXPECT_NE(simState().find("ok command"), std::string::npos);
    EXPECT_FALSE(ctl_.jobProcessing());
}

TEST_F(ModemJob, BusyAndTimeOutHangUpByThemselves) {
    ASSERT_EQ(sim_.command("set dial-result busy"), "ok");
    ctl_.setModemPhoneNumber(u"123");
    ctl_.setPortOpen(true);
    ctl_.setModemConnect(true);
    ASSERT_TRUE(dialEnds(8000));
    EXPECT_EQ(narrow(ctl_.modemResult()), "BUSY");
    // (ModemConnect would read true here: a pseudo-terminal has no carrier line, so the
    // library reports carrier present; the modem's state tells the hang-up instead.)
    EXPECT_EQ(window_.count(kNotifyModem, MODEM_ACTION_FAILED), 1);
    EXPECT_NE(sim_.command("commands").find("ATH"), std::string::npos);

    // The modem says nothing: ModemTimeout 0 means 2 s, then the library's text.
    ASSERT_EQ(sim_.command("set dial-result none"), "ok");
    ctl_.setModemTimeout(0);
    EXPECT_EQ(ctl_.modemTimeout(), 2);
    const auto start = Clock::now();
    ctl_.setModemConnect(true);
    ASSERT_TRUE(dialEnds(10000));
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(took, 2000 + 1000 - 100); // the init command's pause, then the 2 s wait
    EXPECT_LT(took, 7000);
    EXPECT_EQ(narrow(ctl_.modemResult()), "TIMEOUT: no connection within 2 s");
    EXPECT_EQ(window_.count(kNotifyModem, MODEM_ACTION_TIMEOUT), 1);
    const std::string state = simState();
    EXPECT_NE(state.find("ok command"), std::string::npos) << state; // the dial was ended
}

TEST_F(ModemJob, EmptyNumberAnswersWhenItRingsAndAbortStopsAWait) {
    ctl_.setModemTimeout(20);
    ctl_.setPortOpen(true);
    ctl_.setModemConnect(true); // no number: the answer string waits for a call
    // The ring must come once the dial waits for it: the modem has had the init command
    // and the wait reports its progress.
    ASSERT_TRUE(waitFor(
        [&] {
            return window_.count(kNotifyModem, MODEM_ACTION_WAITING) >= 1 &&
                   sim_.command("commands").find("S7=") != std::string::npos;
        },
        5000));
    EXPECT_EQ(sim_.command("ring 3"), "ok");
    ASSERT_TRUE(dialEnds(8000));
    EXPECT_EQ(narrow(ctl_.modemResult()), "CONNECT 9600");
    EXPECT_EQ(window_.count(kNotifyModem, MODEM_ACTION_RING), 1);
    const std::string state = simState();
    EXPECT_NE(state.find("ok online dials=0"), std::string::npos) << state;
    EXPECT_NE(sim_.command("commands").find("ATA"), std::string::npos);
    ctl_.setModemConnect(false);

    // Waiting for a call that never comes: ModemConnect = false ends it at once.
    ctl_.setModemConnect(true);
    ASSERT_TRUE(
        waitFor([&] { return window_.count(kNotifyModem, MODEM_ACTION_WAITING) >= 3; }, 5000));
    const auto start = Clock::now();
    ctl_.setModemConnect(false);
    ASSERT_TRUE(dialEnds(5000));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              4000);
    EXPECT_EQ(narrow(ctl_.modemResult()), "ABORTED");
}

TEST_F(ModemJob, ClosingThePortEndsAWaitingDial) {
    ctl_.setModemTimeout(30);
    ctl_.setPortOpen(true);
    ctl_.setModemConnect(true);
    ASSERT_TRUE(
        waitFor([&] { return window_.count(kNotifyModem, MODEM_ACTION_WAITING) >= 1; }, 5000));
    const auto start = Clock::now();
    ctl_.setPortOpen(false); // aborts the job and waits for it
    EXPECT_FALSE(ctl_.jobProcessing());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              3000);
    const std::string result = narrow(ctl_.modemResult());
    EXPECT_TRUE(result == "ABORTED" || result == "PORT CLOSED") << result;
}

// A dial works on the texts of its start: what the host writes while it runs is kept
// for the next dial and never reaches the running one.
TEST_F(ModemJob, ADialKeepsTheTextsItStartedWith) {
    ctl_.setModemPhoneNumber(u"5551234");
    ctl_.setModemTimeout(10);
    ctl_.setPortOpen(true);
    ctl_.setModemConnect(true);
    // The host rewrites the texts until the dial waits for its connection.
    auto rewrite = [&] {
        ctl_.setModemPhoneNumber(u"999");
        ctl_.setModemInitString(u"ATZ");
        ctl_.setModemAnswerString(u"ATS0=1");
        ctl_.setModemTimeout(100);
    };
    rewrite();
    ASSERT_TRUE(waitFor([&] { return window_.count(kNotifyModem, MODEM_ACTION_WAITING) >= 1; },
                        8000, rewrite));
    ASSERT_TRUE(dialEnds(8000));
    EXPECT_EQ(narrow(ctl_.modemResult()), "CONNECT 9600");
    const std::string state = simState();
    EXPECT_NE(state.find("number=5551234"), std::string::npos) << state;
    const std::string commands = sim_.command("commands");
    EXPECT_NE(commands.find("ATE0L1M0Q0V1&C1&D2&S1S7=1"), std::string::npos) << commands;
    EXPECT_EQ(commands.find("ATZ"), std::string::npos) << commands;
    EXPECT_EQ(ctl_.modemPhoneNumber(), u"999");
    EXPECT_EQ(ctl_.modemTimeout(), 100);
    ctl_.setModemConnect(false);
}
