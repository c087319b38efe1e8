// Real-time behaviour of the simulator: delayed ACKs and answers, and the slow mode that
// sends at the line's character rate. Kept to one grouped test.
#include <gtest/gtest.h>

#include "pc_line.h"
#include "support/scanner_sim_harness.h"

namespace scanner_sim_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

TEST(SimTiming, DelaysAndSlowModeTakeRealTime) {
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start()) << sim.error();
    PcLine pc(sim.devicePath(), B9600);

    // Undelayed: a whole setup answer comes at once.
    auto t0 = Clock::now();
    pc.sendFrame("<SETPAR:>");
    const std::string fast = pc.readAnswer();
    const auto fastMs = msSince(t0);
    ASSERT_EQ(fast.substr(0, 1), "\x06");

    // ACK after 1200 ms (past the program's 1000 ms attempt), answer 300 ms later.
    ASSERT_TRUE(sim.fault("ackdelay 1200"));
    ASSERT_TRUE(sim.fault("delay 300"));
    t0 = Clock::now();
    pc.sendFrame("<APP1RV:>");
    EXPECT_EQ(pc.readAck(3000ms), "\x06");
    const auto ackMs = msSince(t0);
    EXPECT_GE(ackMs, 1150);
    EXPECT_LT(ackMs, 2000);
    EXPECT_EQ(pc.readAnswer(2000ms), "3.22   \r\n");
    EXPECT_GE(msSince(t0), 1450);
    ASSERT_TRUE(sim.fault("clear"));

    // Slow: about 1.04 ms a character at 9600 baud, so the same answer takes its time.
    ASSERT_TRUE(sim.fault("slow on"));
    t0 = Clock::now();
    pc.sendFrame("<SETPAR:>");
    const std::string slow = pc.readAnswer(3000ms);
    const auto slowMs = msSince(t0);
    EXPECT_EQ(slow, fast);
    const long long lineMs = static_cast<long long>(fast.size()) * 10 * 1000 / 9600;
    EXPECT_GE(slowMs, lineMs - 20);
    EXPECT_LT(slowMs, lineMs + 400);
    EXPECT_LT(fastMs, lineMs / 2); // undelayed output never takes line time
}

} // namespace
} // namespace scanner_sim_test
