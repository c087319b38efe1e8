// Calls that need no device: bad and closed comm ids, user slots, time, yield state.
#include "serilon/serilon.h"
#include "support/non_regular_files.h"
#include "support/pty_pair.h"
#include "tools/scanner-sim/sha256.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <unistd.h>

TEST(SerilonIds, BadAndClosedIdsAreRefusedSafely) {
    for (int bad : {-1, 255, 1000, INT32_MIN}) {
        EXPECT_EQ(SerialOpenPort(bad), SERIAL_E_BAD_ID);
        EXPECT_EQ(SerialClosePort(bad), SERIAL_E_BAD_ID);
        EXPECT_EQ(SerialOpenStatus(bad), SERIAL_E_BAD_ID);
        EXPECT_EQ(SerialSetLine(bad, 9600, 8, 1, 'N', 0), SERIAL_E_BAD_ID);
        EXPECT_EQ(SerialSetUserData(bad, 0, 1), SERIAL_E_BAD_ID);
        EXPECT_EQ(SerialGetUserData(bad, 0), 0);
        EXPECT_EQ(SerialInUse(bad), 0);
        EXPECT_EQ(SerialQueueCount(bad, 0), 0);
        EXPECT_EQ(SerialOsHandle(bad), -1);
        char buf[64];
        EXPECT_EQ(SerialErrorText(bad, buf, sizeof buf), SERIAL_E_BAD_ID);
        EXPECT_NE(std::string(buf).find("outside 0..254"), std::string::npos);
    }
    const int closed = 200;
    char data[4] = {1, 2, 3, 4};
    uint16_t n = 77;
    EXPECT_EQ(SerialWrite(closed, data, 4, &n), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(SerialRead(closed, data, 4, &n), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(SerialQueueCount(closed, SERIAL_DIR_INPUT), 0);
    EXPECT_EQ(SerialQueueFull(closed, SERIAL_DIR_OUTPUT), 0);
    EXPECT_EQ(SerialBufferSize(closed, SERIAL_DIR_INPUT), 0);
    EXPECT_EQ(SerialWaitQueue(closed, SERIAL_DIR_OUTPUT, 0, 1000), 0);
    EXPECT_EQ(SerialSetEventProc(closed, nullptr), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(SerialSetMode(closed, SERIAL_EV_ALL, 0), 0);
    EXPECT_EQ(SerialThreadHandle(closed, 0), 0);
    EXPECT_EQ(SerialMaxBaud(closed), 0);
    EXPECT_EQ(SerialGetFlow(closed), 0);
    EXPECT_EQ(SerialModemStatus(closed), 0);
    EXPECT_EQ(SerialCarrier(closed), 0);
    EXPECT_EQ(SerialDtrOn(closed), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(SerialFlushQueue(closed, SERIAL_DIR_INPUT), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(SerialOpenStatus(closed), SERIAL_E_NOT_OPEN);
    SerialConfigRecord r{};
    EXPECT_EQ(SerialReadConfig(closed, &r), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(SerialErrorText(closed, nullptr, 10), SERIAL_E_INVALID);
}

TEST(SerilonIds, UserSlotsOutliveOpenAndClose) {
    EXPECT_EQ(SerialSetUserData(3, 0, intptr_t(0x1234)), SERIAL_OK);
    EXPECT_EQ(SerialSetUserData(3, 7, -5), SERIAL_OK);
    EXPECT_EQ(SerialSetUserData(3, 8, 1), SERIAL_E_INVALID);
    EXPECT_EQ(SerialSetUserData(3, -1, 1), SERIAL_E_INVALID);
    EXPECT_EQ(SerialGetUserData(3, 0), 0x1234);
    EXPECT_EQ(SerialGetUserData(3, 7), -5);
    EXPECT_EQ(SerialGetUserData(4, 0), 0);
    EXPECT_EQ(SerialGetUserData(3, 8), 0);

    vort::test::ScopedPortMap map;
    vort::test::PtyPair pty;
    map.map(4, pty.slavePath());
    ASSERT_EQ(SerialOpenPort(3), SERIAL_OK);
    EXPECT_EQ(SerialGetUserData(3, 0), 0x1234);
    SerialSetUserData(3, 4, 99);
    ASSERT_EQ(SerialClosePort(3), SERIAL_OK);
    EXPECT_EQ(SerialGetUserData(3, 4), 99);
    EXPECT_EQ(SerialGetUserData(3, 7), -5);
}

TEST(SerilonPorts, DevicePathsFollowTheMapFile) {
    vort::test::ScopedPortMap map;
    map.writeText("COM2 = /dev/ttyUSB7\n# COM3=/dev/x\n");
    char buf[64];
    EXPECT_EQ(SerialDevicePath(2, buf, sizeof buf), SERIAL_OK);
    EXPECT_STREQ(buf, "/dev/ttyUSB7");
    EXPECT_EQ(SerialDevicePath(3, buf, sizeof buf), SERIAL_OK);
    EXPECT_STREQ(buf, "/dev/ttyS2");
    EXPECT_EQ(SerialDevicePath(0, buf, sizeof buf), SERIAL_E_BAD_ID);
    EXPECT_EQ(SerialDevicePath(256, buf, sizeof buf), SERIAL_E_BAD_ID);
    EXPECT_EQ(SerialDevicePath(1, nullptr, 5), SERIAL_E_INVALID);
    // Read at every call: a changed file is seen at once.
    map.writeText("COM3=/dev/changed\n");
    EXPECT_EQ(SerialDevicePath(3, buf, sizeof buf), SERIAL_OK);
    EXPECT_STREQ(buf, "/dev/changed");
    EXPECT_EQ(SerialPortState(0), SERIAL_PORT_ABSENT);
    EXPECT_EQ(SerialPortState(3), SERIAL_PORT_ABSENT);
}

TEST(SerilonPorts, AMapFileThatIsNoFileFailsTheOpenAtOnceAndSaysWhatItIs) {
    vort::test::ScopedPortMap map;
    const std::string file = map.configHome() + "/serilon/ports.conf";
    ASSERT_EQ(::unlink(file.c_str()), 0);
    vort::test::makeFifo(file);
    int32_t opened = SERIAL_OK;
    EXPECT_TRUE(vort::test::endsWithoutBlocking(file, [&] { opened = SerialOpenPort(5); }));
    EXPECT_EQ(opened, SERIAL_E_INVALID);
    char text[512];
    SerialErrorText(5, text, sizeof text);
    EXPECT_EQ(std::string(text), "COM6 (comm id 5): the port map " + file +
                                     ": a FIFO (named pipe), not a regular file");
    EXPECT_EQ(SerialPortState(6), SERIAL_PORT_ABSENT);
    EXPECT_TRUE(vort::test::isFifo(file));
}

TEST(SerilonTime, TicksDelaysAndPackedTimes) {
    const uint32_t start = SerialTickStart();
    SerialDelay(30);
    const uint32_t elapsed = SerialTickElapsed(start);
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 1000u);
    // Unsigned arithmetic: a start "before zero" still gives the right distance.
    const uint32_t back = SerialTickElapsed(SerialTickStart() - 10);
    EXPECT_GE(back, 10u);
    EXPECT_LT(back, 1000u);

    const int64_t base = SerialPackTime(2020, 6, 15, 12, 30, 30);
    EXPECT_LT(base, SerialPackTime(2020, 6, 15, 12, 30, 31));
    EXPECT_LT(base, SerialPackTime(2020, 6, 15, 12, 31, 0));
    EXPECT_LT(base, SerialPackTime(2020, 6, 15, 13, 0, 0));
    EXPECT_LT(base, SerialPackTime(2020, 6, 16, 0, 0, 0));
    EXPECT_LT(base, SerialPackTime(2020, 7, 1, 0, 0, 0));
    EXPECT_LT(SerialPackTime(2020, 12, 31, 23, 59, 59), SerialPackTime(2021, 1, 1, 0, 0, 0));
    EXPECT_LT(SerialPackTime(2020, 2, 29, 23, 59, 59), SerialPackTime(2020, 3, 1, 0, 0, 0));
    EXPECT_LT(SerialPackTime(1980, 1, 1, 0, 0, 0), SerialPackTime(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(SerialPackTime(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(SerialPackTime(2000, 1, 1, 0, 0, 0), 946684800);
    // Unchecked fields (a month of 0 from an empty date) neither crash nor overflow.
    EXPECT_LT(SerialPackTime(1980, 0, 0, 0, 0, 0), SerialPackTime(1980, 1, 1, 0, 0, 0));
    SerialPackTime(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN);
    SerialPackTime(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX);
}

TEST(SerilonYield, StateOptionsAndWaitSections) {
    EXPECT_EQ(SerialGetYield(), 1);
    EXPECT_EQ(SerialSetYield(0), SERIAL_OK);
    EXPECT_EQ(SerialGetYield(), 0);
    EXPECT_EQ(SerialResetOption(0), SERIAL_OK);
    EXPECT_EQ(SerialGetYield(), 1);
    EXPECT_EQ(SerialResetOption(42), SERIAL_E_INVALID);

    EXPECT_EQ(SerialWaitPoll(), 0);
    EXPECT_EQ(SerialWaitLeave(), 0); // never below 0
    EXPECT_EQ(SerialWaitEnter(), 1);
    EXPECT_EQ(SerialWaitEnter(), 2);
    EXPECT_EQ(SerialWaitPoll(), 2);
    // Sections belong to the calling thread.
    int otherDepth = -1;
    std::thread([&] { otherDepth = SerialWaitPoll(); }).join();
    EXPECT_EQ(otherDepth, 0);
    EXPECT_EQ(SerialWaitLeave(), 1);
    EXPECT_EQ(SerialWaitLeave(), 0);
    EXPECT_EQ(SerialWaitLeave(), 0);
}

TEST(SerilonModem, ModemCallsOnAClosedCommIdSaySo) {
    char result[81] = "junk";
    EXPECT_EQ(ModemCommand(0, "AT"), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(ModemDial(0, "123"), SERIAL_E_NOT_OPEN);
    // Nonzero would mean "connected".
    EXPECT_EQ(ModemWaitConnect(0, 10, 1, result, nullptr), 0);
    EXPECT_STREQ(result, "PORT NOT OPEN");
    EXPECT_EQ(ModemHangUp(0), SERIAL_E_NOT_OPEN);
    EXPECT_EQ(ComTypeControl(0, nullptr), SERIAL_E_INVALID);
    EXPECT_EQ(NetAdoptSocket(0, 5), SERIAL_E_INVALID);
}

TEST(SerilonSha256, Sha256MatchesKnownDigests) {
    EXPECT_EQ(scanner_sim::sha256Hex("", 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(scanner_sim::sha256Hex("abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(scanner_sim::sha256Hex(twoBlocks.data(), twoBlocks.size()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}
