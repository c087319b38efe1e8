// The engine's timer rules and the message pump the waits are built on, in real time.
#include "app/link/window_timer.h"

#include <QCoreApplication>
#include <QTimer>
#include <sys/resource.h>

#include "app/link/message_pump.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

// Pumps for ms, returning the tick times (ms since start) of timer.
std::vector<long long> ticksDuring(WindowTimer& timer, int ms, Clock::time_point start,
                                   const std::function<void(long long)>& at = {}) {
    std::vector<long long> ticks;
    QObject::connect(&timer, &WindowTimer::tick, &timer, [&] { ticks.push_back(msSince(start)); });
    while (msSince(start) < ms) {
        PumpMessages();
        if (at)
            at(msSince(start));
    }
    QObject::disconnect(&timer, &WindowTimer::tick, nullptr, nullptr);
    return ticks;
}

TEST(WindowTimerTest, EnablingAgainDoesNotRestartButANewIntervalDoes) {
    WindowTimer timer;
    timer.setInterval(200);
    const auto start = Clock::now();
    timer.setEnabled(true);
    bool reEnabled = false;
    bool changed = false;
    const auto ticks = ticksDuring(timer, 730, start, [&](long long now) {
        if (!reEnabled && now >= 100) {
            timer.setEnabled(true); // already enabled: the count goes on
            reEnabled = true;
        }
        if (!changed && now >= 450) {
            timer.setInterval(250); // restarts: next tick near 700
            changed = true;
        }
    });
    ASSERT_EQ(ticks.size(), 3u) << "ticks keep coming until the timer is disabled";
    EXPECT_NEAR(ticks[0], 200, 40);
    EXPECT_NEAR(ticks[1], 400, 40);
    EXPECT_NEAR(ticks[2], 700, 40);

    timer.setEnabled(false);
    timer.setInterval(0);
    timer.setEnabled(true);
    EXPECT_TRUE(ticksDuring(timer, 100, Clock::now()).empty()) << "interval 0 never ticks";
}

TEST(MessagePumpTest, RunsPendingEventsAtOnceAndWaitsOnlyBrieflyWhenIdle) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    PumpMessages();
    EXPECT_TRUE(ran);

    // Idle: each pass comes back after about a millisecond, without burning the core.
    rusage before{}, after{};
    getrusage(RUSAGE_THREAD, &before);
    const auto start = Clock::now();
    int passes = 0;
    while (msSince(start) < 300) {
        PumpMessages();
        ++passes;
    }
    getrusage(RUSAGE_THREAD, &after);
    auto cpuUs = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000LL + r.ru_utime.tv_usec +
               r.ru_stime.tv_usec;
    };
    EXPECT_GE(passes, 30) << "a pass must not wait long when nothing happens";
    EXPECT_LE(passes, 1000) << "an idle pass must wait for something";
    EXPECT_LT(cpuUs(after) - cpuUs(before), 150000) << "half the time on the CPU: spinning";
}

} // namespace
} // namespace tcu::test
