// The simulator reached the way the configuration program reaches a scanner: by port
// number through the serial core library and the port map the simulator wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "serilon/serilon.h"
#include "support/scanner_sim_harness.h"
#include "transvex/transvex.h"

namespace scanner_sim_test {
namespace {

// Sends one frame on comm id and returns what came back within timeoutMs: up to the ACK
// or NAK, or for a query (a frame with ":>") up to the answer's CR LF.
std::string exchange(int32_t commId, const std::string& frame, int timeoutMs) {
    const bool query = frame.find(":>") != std::string::npos && frame != "\x01<TXPING:>\x04";
    uint16_t taken = 0;
    EXPECT_EQ(SerialWrite(commId, frame.data(), static_cast<uint16_t>(frame.size()), &taken),
              SERIAL_OK);
    std::string got;
    const uint32_t start = SerialTickStart();
    while (SerialTickElapsed(start) < static_cast<uint32_t>(timeoutMs) &&
           got.find("\r\n") == std::string::npos && got != "\x15" && (query || got != "\x06")) {
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

int32_t goOn(int32_t, int32_t, int32_t, XferFileInfo*) {
    return XFER_RESULT_GO_ON;
}

// The program's own path for a firmware load: the load token through the serial core,
// then our transfer library's ZMODEM sender, into the simulator's receiver: lrzsz's rz
// (a peer we did not write) and our own library's receiver.
class SimSerialCoreLoad : public ::testing::TestWithParam<bool> {};

TEST_P(SimSerialCoreLoad, OurZmodemSenderLoadsTheImage) {
    const bool rz = GetParam();
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.comPort = 6, .rz = rz})) << sim.error();
    sim.useConfigHome();
    const std::string file = sim.scratchDir() + "/app1.bin";
    {
        std::string image(20000, 'x');
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 131 + (i >> 7));
        image.replace(0, 108, std::string(108, ' '));
        image.replace(80, 4, "3.40");
        std::ofstream(file, std::ios::binary) << image;
    }
    const int32_t comm = 5; // COM6
    ASSERT_EQ(SerialOpenPort(comm), SERIAL_OK);
    ASSERT_EQ(SerialSetLine(comm, 9600, 8, 1, 'N', 0), SERIAL_OK);
    ASSERT_EQ(exchange(comm, "\x01<A1CODE=Z>\x04", 2000).substr(0, 1), "\x06");
    char name[XFER_NAME_SIZE] = {};
    std::snprintf(name, sizeof name, "%s", file.c_str());
    int32_t status = 1;
    const uint8_t result = XferSendZmodem(comm, name, &status, &goOn);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(status, XFER_STATUS_OK);
    auto image = sim.waitForImage(0, std::chrono::seconds(15));
    ASSERT_TRUE(image);
    ASSERT_TRUE(image->ok) << image->error;
    EXPECT_EQ(image->size, 20000u);
    EXPECT_EQ(image->version, "3.40");
    SerialFlushQueue(comm, SERIAL_DIR_INPUT);
    EXPECT_EQ(exchange(comm, "\x01<APP1RV:>\x04", 2000), "\x06"
                                                         "3.40   \r\n");
    EXPECT_EQ(SerialClosePort(comm), SERIAL_OK);
}

INSTANTIATE_TEST_SUITE_P(Receivers, SimSerialCoreLoad, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Rz" : "Library"; });

} // namespace
} // namespace scanner_sim_test
