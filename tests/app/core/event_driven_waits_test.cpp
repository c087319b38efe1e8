// The waits sleep until something happens: a pass of the message pump sleeps until the
// next event or its deadline, and the core's exchange sleeps between the scanner's bytes
// instead of waking on a tick, also while an upload has the receive event turned off.
#include <QAbstractEventDispatcher>
#include <QTimer>

#include "app/core/program_core.h"
#include "app/link/message_pump.h"
#include "app/settings/setup_model.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

// Counts how often the GUI thread's event loop goes to sleep while it lives.
class SleepCounter {
public:
    SleepCounter() {
        connection_ = QObject::connect(QAbstractEventDispatcher::instance(),
                                       &QAbstractEventDispatcher::aboutToBlock, [this] { ++n_; });
    }
    ~SleepCounter() { QObject::disconnect(connection_); }
    int count() const { return n_; }

private:
    QMetaObject::Connection connection_;
    int n_ = 0;
};

TEST(MessagePumpWaitTest, APassSleepsUntilTheNextEventOrItsDeadlineAndNoLonger) {
    // The unbounded pass sleeps until the next event, not a tick: events already pending
    // (left by the set-up) may end a pass early, so the passes are counted, and a handful
    // reach the timer where a 1 ms tick would take about two hundred.
    bool fired = false;
    QTimer::singleShot(200, [&] { fired = true; });
    auto start = Clock::now();
    {
        SleepCounter sleeps;
        int passes = 0;
        while (!fired && passes < 50) {
            WaitForMessage();
            ++passes;
        }
        EXPECT_TRUE(fired);
        EXPECT_GE(msSince(start), 150);
        EXPECT_LE(passes, 5);
        EXPECT_LE(sleeps.count(), 6) << "sleeps until the event, not a tick";
    }

    // A bounded pass ends at its deadline when nothing comes, and at once when it is past.
    start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(150);
    int bounded = 0;
    for (; Clock::now() < deadline && bounded < 50; ++bounded)
        PumpMessagesUntil(deadline);
    EXPECT_LE(bounded, 5) << "sleeps until the deadline, not a tick";
    EXPECT_GE(msSince(start), 140);
    EXPECT_LT(msSince(start), 1500);
    start = Clock::now();
    PumpMessagesUntil(start - std::chrono::milliseconds(1));
    EXPECT_LT(msSince(start), 100);

    // An event before the deadline ends the pass then.
    fired = false;
    QTimer::singleShot(50, [&] { fired = true; });
    start = Clock::now();
    for (int passes = 0; !fired && passes < 5; ++passes)
        PumpMessagesUntil(start + std::chrono::seconds(5));
    EXPECT_TRUE(fired);
    EXPECT_LT(msSince(start), 2500);
}

class CoreWaitsTest : public TcuTest {
protected:
    ProgramCore& makeCore(int baud) {
        core_ = std::make_unique<ProgramCore>();
        core_->LoadPortSettings();
        core_->createControl();
        core_->setSetup(&setup_);
        core_->CommCtl1.setCommPort(1);
        core_->CommCtl1.setSettings(QString::number(baud) + QStringLiteral(",N,8,1"));
        core_->CommCtl1.setPortOpen(true);
        return *core_;
    }
    void TearDown() override {
        core_.reset();
        TcuTest::TearDown();
    }

    settings::SetupValues setup_;
    std::unique_ptr<ProgramCore> core_;
};

TEST_F(CoreWaitsTest, AnExchangeSleepsUntilTheScannerSpeaksOrItsTimerTicks) {
    // The answer comes 1 s after the ACK: the wait sleeps through that second.
    startSim(1, 19200, {"--fault", "delay 1000"});
    ProgramCore& core = makeCore(19200);
    const auto start = Clock::now();
    SleepCounter sleeps;
    EXPECT_EQ(core.ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
    EXPECT_GE(msSince(start), 950);
    // Each sleep ends with an event: the ACK, the answer's bytes, the end of the frame
    // leaving. A 1 ms tick would make it a thousand.
    EXPECT_LT(sleeps.count(), 100);

    // Silence: one sleep until the ACK wait's tick, three attempts.
    ASSERT_TRUE(sim_->fault("ignore 3"));
    SleepCounter silent;
    EXPECT_EQ(core.ExchangeCommand(QStringLiteral("<SPVOLU=HIGH>")), 0);
    EXPECT_LT(silent.count(), 30);
}

TEST_F(CoreWaitsTest, WithTheReceiveEventOffAnExchangeStillWakesOnTheAnswer) {
    startSim(1, 19200);
    ProgramCore& core = makeCore(19200);
    // As an upload leaves the control while its exchanges (revision, fast load, load
    // token) run.
    core.BeginUpload();
    ASSERT_EQ(core.CommCtl1.rThreshold(), 0);
    const auto start = Clock::now();
    EXPECT_EQ(core.ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
    EXPECT_LT(msSince(start), 900) << "woken by the answer, not by the ACK wait's end";
    EXPECT_EQ(core.CommCtl1.rThreshold(), 0) << "the upload's threshold comes back";
    EXPECT_FALSE(core.EndUpload().has_value());
    EXPECT_EQ(core.CommCtl1.rThreshold(), 1);
}

} // namespace
} // namespace tcu::test
