// The simulator as a process on its pseudo-terminal, through the test harness.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "pc_line.h"
#include "support/scanner_sim_harness.h"

namespace scanner_sim_test {
namespace {

using namespace std::chrono_literals;
using vort::test::ScannerSimHarness;
using vort::test::ScannerSimStart;

const std::string kAck = "\x06";
const std::string kNak = "\x15";

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

TEST(SimProcess, ReadyWithPortMapEntryAndAnswersAFactoryScanner) {
    ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.comPort = 3})) << sim.error();
    EXPECT_EQ(slurp(sim.portMapPath()), "COM3=" + sim.devicePath() + "\n");

    PcLine pc(sim.devicePath(), B9600);
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readAck(), kAck);
    pc.sendFrame("<SETPAR:>");
    const std::string setup = pc.readAnswer();
    ASSERT_GT(setup.size(), 3u);
    EXPECT_EQ(setup.substr(0, 1), kAck);
    EXPECT_EQ(setup.substr(1, 15), "\x01<RSBAUD=9600>\x04");
    EXPECT_NE(setup.find("\x01<REGIEN=0>\x04\r\n"), std::string::npos);
    pc.sendFrame("<APP1RV:>");
    EXPECT_EQ(pc.readAnswer(), kAck + "3.22   \r\n");
    pc.sendFrame("<BOGUS1:>");
    EXPECT_EQ(pc.readAck(), kNak);
    EXPECT_EQ(sim.frames().size(), 4u);
}

TEST(SimProcess, WrongSpeedGetsNoValidAnswer) {
    ScannerSimHarness sim;
    ASSERT_TRUE(sim.start()) << sim.error();
    PcLine pc(sim.devicePath(), B19200);
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readFor(400ms), ""); // silence for the window is what is checked
    EXPECT_EQ(sim.command("pc"), "ok 19200");
    pc.setSpeed(B9600);
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readAck(), kAck);

    ScannerSimHarness noisy;
    ASSERT_TRUE(noisy.start({.args = {"--mismatch", "garbage", "--baud", "57600"}}))
        << noisy.error();
    PcLine pc2(noisy.devicePath(), B9600);
    pc2.sendFrame("<SETPAR:>");
    // All it sends back within the window, each byte checked: noise, never an answer.
    const std::string noise = pc2.readFor(400ms);
    EXPECT_FALSE(noise.empty());
    EXPECT_EQ(noise.find_first_of(std::string("\x06\x15\r\n\x01\x04", 6)), std::string::npos);
    pc2.setSpeed(B57600);
    pc2.sendFrame("<TXPING:>");
    EXPECT_EQ(pc2.readAck(), kAck);
}

TEST(SimProcess, SetupCommandIsLoggedByteForByteAndTheRateMovesAfterTheAck) {
    ScannerSimHarness sim;
    ASSERT_TRUE(sim.start()) << sim.error();
    PcLine pc(sim.devicePath(), B9600);
    const std::string command =
        "<RSBAUD=38400><RSPRTY=EVEN><RSBITS=7><RSSTOP=2><RSDELY=005><RSCTSE=0>"
        "<SPVOLU=MEDIUM><PREFIX=[STX] x><PRECID=0><SUFFIX=><SUFFCR=0><CD39EN=0><CD39SS=0>"
        "<CD128E=0><PDF417=1><MAG1EN=1><MAG2EN=1><MAG3EN=1><MAGLRC=0><MAGRAW=0>"
        "<NOREAD=0><POWSET=0><SPPOWB=1><SPPARA=1><SERIEN=0><REGIEN=0>";
    pc.sendFrame(command);
    EXPECT_EQ(pc.readAck(), kAck);
    EXPECT_EQ(sim.line(), "38400,E,7,2");
    EXPECT_EQ(sim.get("PREFIX"), "[STX] x");

    pc.sendFrame("<TXPING:>"); // still at 9600: nothing
    EXPECT_EQ(pc.readFor(300ms), "");
    pc.setSpeed(B38400, 2);
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readAck(), kAck);

    const auto lines = sim.logLines();
    const std::string expectedRx =
        "rx \\x01<RSBAUD=38400><RSPRTY=EVEN><RSBITS=7><RSSTOP=2><RSDELY=005><RSCTSE=0>"
        "<SPVOLU=MEDIUM><PREFIX=[STX]\\x20x><PRECID=0><SUFFIX=><SUFFCR=0><CD39EN=0>"
        "<CD39SS=0><CD128E=0><PDF417=1><MAG1EN=1><MAG2EN=1><MAG3EN=1><MAGLRC=0>"
        "<MAGRAW=0><NOREAD=0><POWSET=0><SPPOWB=1><SPPARA=1><SERIEN=0><REGIEN=0>\\x04";
    auto it = std::find(lines.begin(), lines.end(), expectedRx);
    ASSERT_NE(it, lines.end()) << slurp(sim.logPath());
    ASSERT_NE(it + 1, lines.end());
    EXPECT_EQ(*(it + 1), "tx \\x06");
    EXPECT_EQ(sim.frames().front(), "\x01" + command + "\x04");

    // Factory default: ACK at 38400, then back at 9600.
    pc.sendFrame("<FACDEF=1>");
    EXPECT_EQ(pc.readAck(), kAck);
    EXPECT_EQ(sim.line(), "9600,N,8,1");
    pc.setSpeed(B9600);
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readAck(), kAck);
}

TEST(SimProcess, ControlChannelDrivesIdentityAndFaults) {
    ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.args = {"--set", "APP1RV=3.21", "--fault", "nak 1"}})) << sim.error();
    PcLine pc(sim.devicePath());
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readAck(), kNak); // the fault from the command line
    pc.sendFrame("<SERIAL:>");
    EXPECT_EQ(pc.readAck(), kNak); // 3.21 has no serial number
    ASSERT_TRUE(sim.set("APP1RV", "3.22"));
    ASSERT_TRUE(sim.set("SERIAL", "SN 42"));
    pc.sendFrame("<SERIAL:>");
    EXPECT_EQ(pc.readAnswer(), kAck + "SN 42\r\n");

    ASSERT_TRUE(sim.fault("stray xy"));
    ASSERT_TRUE(sim.fault("noanswer 1"));
    pc.sendFrame("<APP1RV:>");
    EXPECT_EQ(pc.readFor(300ms), "xy" + kAck); // and no answer behind the ACK in the window
    EXPECT_FALSE(sim.fault("sideways"));
    EXPECT_EQ(sim.command("fault"), "ok none");

    ASSERT_TRUE(sim.clearFrames());
    pc.sendFrame("<REGKEY=KEY-1>");
    EXPECT_EQ(pc.readAck(), kAck);
    EXPECT_EQ(sim.get("REGKEY"), "KEY-1");
    EXPECT_EQ(sim.frames(), std::vector<std::string>{"\x01<REGKEY=KEY-1>\x04"});
    EXPECT_EQ(sim.command("frobnicate").substr(0, 4), "err ");
    EXPECT_EQ(sim.command("image"), "ok none count=0");
    EXPECT_EQ(sim.command("wait-image 0 50"), "err timeout");
    EXPECT_EQ(sim.command("wait-image zero").substr(0, 4), "err ");
}

TEST(SimProcess, LinkSocketAndPortMapEntryGoAwayOnSigterm) {
    ScannerSimHarness sim;
    char dir[] = "/tmp/simlink-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string link = std::string(dir) + "/scanner";
    ASSERT_TRUE(sim.start({.args = {"--link", link}, .comPort = 7})) << sim.error();
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim.devicePath());
    EXPECT_EQ(slurp(sim.portMapPath()), "COM7=" + link + "\n");
    {
        PcLine pc(link); // through the link
        pc.sendFrame("<TXPING:>");
        EXPECT_EQ(pc.readAck(), kAck);
    }
    ASSERT_EQ(kill(sim.pid(), SIGTERM), 0);
    const int status = sim.stop();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(exists(link));
    EXPECT_FALSE(exists(sim.controlPath()));
    EXPECT_EQ(slurp(sim.portMapPath()), "");
    EXPECT_EQ(sim.stderrText(), "");
    rmdir(dir);
}

TEST(SimProcess, RunsOnASerialDeviceAndSetsItsLine) {
    // A pseudo-terminal slave stands in for the serial device; the test is the PC on
    // the master side. A device enforces its own rate, so nothing is rate-checked here,
    // and the scanner's rate is put on the device.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.args = {"--device", slave, "--baud", "19200"}})) << sim.error();
    EXPECT_EQ(sim.devicePath(), slave);
    auto deviceSpeed = [&] {
        termios t{};
        tcgetattr(master, &t);
        return cfgetospeed(&t);
    };
    EXPECT_EQ(deviceSpeed(), static_cast<speed_t>(B19200));
    const std::string ping = "\x01<TXPING:>\x04";
    ASSERT_EQ(write(master, ping.data(), ping.size()), static_cast<ssize_t>(ping.size()));
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    char c = 0;
    ASSERT_EQ(read(master, &c, 1), 1);
    EXPECT_EQ(c, '\x06');
    ASSERT_TRUE(sim.set("RSBAUD", "4800"));
    EXPECT_EQ(deviceSpeed(), static_cast<speed_t>(B4800));
    EXPECT_EQ(sim.stop(), 0);
    close(master);
}

TEST(SimProcess, RandomBytesAndHangUpsNeverStopIt) {
    ScannerSimHarness sim;
    ASSERT_TRUE(sim.start()) << sim.error();
    std::mt19937 rng(12345);
    {
        PcLine pc(sim.devicePath());
        std::string junk;
        for (int i = 0; i < 256 * 1024; ++i)
            junk += static_cast<char>(rng());
        pc.write(junk);
        pc.write(std::string(1, '\x04')); // end any frame the junk left open
        // Through its answers to accidental frames in the junk, up to this query's.
        pc.sendFrame("<APP1RV:>");
        EXPECT_EQ(pc.replyAfterLeftovers(kAck + "3.22   \r\n"), kAck + "3.22   \r\n");
        pc.sendFrame("<TXPING:>");
        EXPECT_EQ(pc.readAck(), kAck);
    } // the PC closes the port: the line hangs up on the PC side
    EXPECT_TRUE(sim.running());
    EXPECT_EQ(sim.command("ping"), "ok");
    PcLine again(sim.devicePath());
    again.sendFrame("<TXPING:>");
    EXPECT_EQ(again.readAck(), kAck);
    // Control lines of junk get errors, not a crash.
    EXPECT_EQ(sim.command(std::string("\x01\xff\x7fzz", 5)).substr(0, 4), "err ");
    EXPECT_EQ(sim.command("ping"), "ok");
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.stderrText(), ""); // nothing from the sanitizers either
}

TEST(SimProcess, StartUpFailuresAreClear) {
    ScannerSimHarness bad;
    EXPECT_FALSE(bad.start({.args = {"--baud", "300"}}));
    EXPECT_NE(bad.error().find("--baud"), std::string::npos) << bad.error();

    ScannerSimHarness busy;
    ASSERT_TRUE(busy.start()) << busy.error();
    ScannerSimHarness second;
    EXPECT_FALSE(second.start({.args = {"--control", busy.controlPath()}}));
    EXPECT_NE(second.error().find("in use"), std::string::npos) << second.error();
    EXPECT_EQ(busy.command("ping"), "ok"); // the first one's socket is untouched
}

} // namespace
} // namespace scanner_sim_test
