// A device that goes away while open, and the cost of an idle open port.
#include "serilon_test_util.h"

#include <atomic>

using namespace serilon_test;

namespace {

std::atomic<int32_t> hangupSeen{0};
std::atomic<int> cdReports{0};

int32_t watchHangUp(int32_t, int32_t mask) {
    hangupSeen.fetch_or(mask);
    if (mask & SERIAL_EV_CD) {
        ++cdReports;
    }
    return 0;
}

} // namespace

TEST_F(SerilonPort, HangUpIsReportedOnceAndCostsNothing) {
    hangupSeen = 0;
    cdReports = 0;

    ASSERT_EQ(SerialSetEventProc(kId, watchHangUp), SERIAL_OK);
    // Bytes already in the library's queue survive the hang-up.
    ASSERT_TRUE(pty_.writeAll("kept"));
    ASSERT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 4; }));
    EXPECT_NE(SerialCarrier(kId), 0);

    pty_.closeMaster();
    ASSERT_TRUE(waitFor([] { return cdReports.load() > 0; })) << "no CD report after hang-up";
    EXPECT_EQ(SerialOpenStatus(kId), SERIAL_E_HUNG_UP);
    EXPECT_EQ(SerialCarrier(kId), 0);
    EXPECT_NE(SerialInUse(kId), 0);
    char text[256];
    EXPECT_EQ(SerialErrorText(kId, text, sizeof text), SERIAL_E_HUNG_UP);

    // No spinning: the threads must sleep once the device is gone.
    const double before = processCpuMs();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double used = processCpuMs() - before;
    EXPECT_LT(used, 100.0) << "CPU ms used in the second after the hang-up";
    EXPECT_EQ(cdReports.load(), 1);

    // Writes take nothing; queued input can still be read, then nothing new comes.
    uint16_t taken = 9;
    EXPECT_EQ(SerialWrite(kId, "lost", 4, &taken), SERIAL_E_HUNG_UP);
    EXPECT_EQ(taken, 0);
    EXPECT_EQ(SerialQueueCount(kId, SERIAL_DIR_OUTPUT), 0);
    EXPECT_EQ(readFromPort(kId, 4, 500), "kept");
    char buf[16];
    uint16_t got = 7;
    EXPECT_EQ(SerialRead(kId, buf, sizeof buf, &got), SERIAL_OK);
    EXPECT_EQ(got, 0);
    // Waiters do not wait on a dead device.
    const auto start = std::chrono::steady_clock::now();
    SerialWaitQueue(kId, SERIAL_DIR_OUTPUT, 0, 2000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    // Settings are kept, but reported as not reaching the device.
    EXPECT_EQ(SerialSetLine(kId, 9600, 8, 1, 'N', 0), SERIAL_E_HUNG_UP);

    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
    EXPECT_EQ(SerialInUse(kId), 0);

    // A new device under the same port number opens again.
    vort::test::PtyPair again;
    map_.writeText("COM" + std::to_string(kId + 1) + "=" + again.slavePath() + "\n");
    ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK) << errorText(kId);
    EXPECT_EQ(SerialOpenStatus(kId), SERIAL_OK);
    ASSERT_TRUE(again.writeAll("new"));
    EXPECT_EQ(readFromPort(kId, 3), "new");
}

TEST_F(SerilonPort, AnIdleOpenPortCostsNoCpu) {
    ASSERT_EQ(SerialSetEventProc(kId, watchHangUp), SERIAL_OK);
    // Measured from when the port has settled: both threads wait in poll.
    ASSERT_TRUE(waitFor([] { return portThreadsIdle(kId); }));
    const double before = processCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double used = processCpuMs() - before;
    EXPECT_LT(used, 20.0) << "CPU ms used by an idle open port in 1.5 s";
}
