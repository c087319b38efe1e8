// modem-sim as a process: what it accepts on its command line and as its control
// socket, and that a computer which stops reading neither stalls its control socket nor
// keeps it from ending.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/modem_sim_process.h"

using vort::test::ModemSim;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string fileText(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The computer's side of the line: the simulator's terminal, raw and non-blocking.
class Computer {
public:
    explicit Computer(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~Computer() { close(); }
    bool ok() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    void write(const std::string& s) {
        ASSERT_EQ(::write(fd_, s.data(), s.size()), ssize_t(s.size()));
    }
    // Reads until done(what came) holds (true) or ms passed.
    template <class Done> bool readUntil(std::string& got, Done done, int ms) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!done(got) && Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            char buf[4096];
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, size_t(n));
            }
        }
        return done(got);
    }
    // Sends data without reading anything back until the line takes no more; returns
    // what it took.
    std::string fillTheLine() {
        std::string sent;
        std::string chunk(4096, 'x');
        for (std::size_t i = 0; sent.size() < (8u << 20);) {
            for (char& c : chunk)
                c = char('a' + (i++ % 26)); // no "+++" escape in the data
            const ssize_t n = ::write(fd_, chunk.data(), chunk.size());
            if (n > 0) {
                sent.append(chunk, 0, size_t(n));
                continue;
            }
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 500) <= 0)
                break; // full: the simulator no longer takes what the computer sends
        }
        return sent;
    }

private:
    int fd_;
};

// A simulator that connects at once, with a computer online through it.
class OnlineModem : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.start({"--connect-delay", "0"})) << sim.stderrText();
        computer = std::make_unique<Computer>(sim.devicePath());
        ASSERT_TRUE(computer->ok());
        computer->write("ATD123\r");
        std::string got;
        ASSERT_TRUE(computer->readUntil(
            got, [](const std::string& g) { return g.ends_with("CONNECT 9600\r\n"); }, 10000))
            << got;
    }
    ModemSim sim;
    std::unique_ptr<Computer> computer;
};

} // namespace

TEST(ModemSimProcess, ControlPathThatIsNotAFreeSocketIsRefusedAndKept) {
    ModemSim first;
    const fs::path dir = first.scratchDir();
    const fs::path file = dir / "notes.txt";
    std::ofstream(file) << "keep me\n";
    const fs::path link = dir / "link";
    fs::create_symlink(file, link);
    const fs::path directory = dir / "sub";
    fs::create_directory(directory);
    for (const fs::path& p : {file, link, directory}) {
        ModemSim sim;
        EXPECT_FALSE(sim.start({"--control", p.string()}, false));
        EXPECT_EQ(sim.waitForExit(10000), 1);
        EXPECT_NE(sim.stderrText().find(p.string() + " exists and is not a socket"),
                  std::string::npos)
            << sim.stderrText();
    }
    EXPECT_EQ(fileText(file), "keep me\n");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_directory(directory));

    // A socket another simulator listens on is in use; one nobody listens on any more
    // is taken over.
    ASSERT_TRUE(first.start());
    ModemSim second;
    EXPECT_FALSE(second.start({"--control", first.controlPath()}, false));
    EXPECT_EQ(second.waitForExit(10000), 1);
    EXPECT_NE(second.stderrText().find("is in use"), std::string::npos) << second.stderrText();
    EXPECT_EQ(first.command("ping"), "ok");

    const std::string stale = (dir / "stale.sock").string();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, stale.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ModemSim third;
    EXPECT_TRUE(third.start({"--control", stale}, false)) << third.stderrText();
}

TEST(ModemSimProcess, NumbersAreValidated) {
    for (const char* bad : {"", "abc", "-5", "+5", "12x", " 7", "86400001", "99999999999"}) {
        ModemSim sim;
        EXPECT_FALSE(sim.start({"--connect-delay", bad}));
        EXPECT_EQ(sim.waitForExit(10000), 2) << bad;
        EXPECT_NE(sim.stderrText().find("--connect-delay needs milliseconds"), std::string::npos)
            << sim.stderrText();
    }
    ModemSim sim;
    ASSERT_TRUE(sim.start({"--connect-delay", "86400000"})) << sim.stderrText();
    EXPECT_EQ(sim.command("ring abc").rfind("err ring needs a count", 0), 0u);
    EXPECT_EQ(sim.command("ring 0").rfind("err", 0), 0u);
    EXPECT_EQ(sim.command("set connect-delay -1").rfind("err connect-delay needs", 0), 0u);
    EXPECT_EQ(sim.command("set connect-delay 5x").rfind("err", 0), 0u);
    EXPECT_EQ(sim.command("set connect-delay 1500"), "ok");
    EXPECT_EQ(sim.command("ring 2"), "ok");
    EXPECT_EQ(sim.command("state").rfind("ok command", 0), 0u);
}

TEST(ModemSimProcess, HexEscapesNeedTwoHexDigits) {
    ModemSim sim;
    ASSERT_TRUE(sim.start()) << sim.stderrText();
    for (const char* bad : {"send \\xZZ", "send a\\x4", "send \\x4g", "set connect-text C\\x"})
        EXPECT_EQ(sim.command(bad), "err \\x needs two hex digits") << bad;
    EXPECT_EQ(sim.command("send \\x41\\x0a"), "ok");
    EXPECT_EQ(sim.command("set connect-text CONNECT\\x209600"), "ok");
}

TEST_F(OnlineModem, AComputerThatStopsReadingStallsNothingAndLosesNothing) {
    // The far end echoes everything; the computer sends until the line is full and
    // reads nothing back meanwhile.
    const std::string sent = computer->fillTheLine();
    ASSERT_GT(sent.size(), 4096u);
    const auto asked = Clock::now();
    EXPECT_EQ(sim.command("ping", 3000), "ok");
    EXPECT_EQ(sim.command("state", 3000).rfind("ok online", 0), 0u);
    std::printf(
        "%zu bytes pending; control answered in %lld ms\n", sent.size(),
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count()));
    // Once the computer reads again, every byte comes back.
    std::string back;
    EXPECT_TRUE(computer->readUntil(
        back, [&](const std::string& b) { return b.size() >= sent.size(); }, 30000));
    EXPECT_EQ(back.size(), sent.size());
    EXPECT_TRUE(back == sent);
}

TEST_F(OnlineModem, SigtermEndsItAtOnceWithEchoPendingAndTheComputerGone) {
    computer->fillTheLine();
    computer->close();
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitForExit(3000), 0);
}
