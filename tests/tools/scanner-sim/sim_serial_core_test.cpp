// The simulator reached the way the configuration program reaches a scanner: by port
// number through the serial core library and the port map the simulator wrote.
#include <gtest/gtest.h>

#include <string>

#include "control/libs/serilon.h"
#include "support/scanner_sim_harness.h"

namespace scanner_sim_test {
namespace {

// Sends one frame on comm id and returns what came back within timeoutMs.
std::string exchange(int32_t commId, const std::string& frame, int timeoutMs) {
    uint16_t taken = 0;
    EXPECT_EQ(SerialWrite(commId, frame.data(), static_cast<uint16_t>(frame.size()), &taken),
              SERIAL_OK);
    std::string got;
    const uint32_t start = SerialTickStart();
    while (SerialTickElapsed(start) < static_cast<uint32_t>(timeoutMs) &&
           got.find("\r\n") == std::string::npos && got != "\x06" && got != "\x15") {
        const int32_t count = SerialQueueCount(commId, SERIAL_DIR_INPUT);
        if (count == 0) {
            SerialWaitQueue(commId, SERIAL_DIR_INPUT, 0,
                            timeoutMs - static_cast<int>(SerialTickElapsed(start)));
            continue;
        }
        char buf[512];
        uint16_t n = 0;
        SerialRead(commId, buf, sizeof buf, &n);
        got.append(buf, n);
    }
    return got;
}

TEST(SimSerialCore, PortNumberFromThePortMapReachesTheScanner) {
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.args = {"--baud", "19200"}, .comPort = 5})) << sim.error();
    sim.useConfigHome();
    const int32_t comm = 4; // COM5
    ASSERT_EQ(SerialOpenPort(comm), SERIAL_OK);
    ASSERT_EQ(SerialSetLine(comm, 9600, 8, 1, 'N', 0), SERIAL_OK);
    EXPECT_EQ(exchange(comm, "\x01<TXPING:>\x04", 500), ""); // the scanner is at 19200
    ASSERT_EQ(SerialSetLine(comm, 19200, 8, 1, 'N', 0), SERIAL_OK);
    EXPECT_EQ(exchange(comm, "\x01<TXPING:>\x04", 2000), "\x06");
    EXPECT_EQ(exchange(comm, "\x01<APP1RV:>\x04", 2000), "\x06"
                                                         "3.22   \r\n");
    EXPECT_EQ(SerialClosePort(comm), SERIAL_OK);
    EXPECT_EQ(sim.stop(), 0);
}

} // namespace
} // namespace scanner_sim_test
