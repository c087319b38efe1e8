// Opening and closing ports over pseudo-terminals, and the failures a user meets.
#include "serilon_test_util.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace serilon_test;
using vort::test::PtyPair;
using vort::test::ScopedPortMap;

namespace {

constexpr int kId = 6; // COM7
constexpr int kOther = 7;

// The probe helper: in VORT_BUILD_OUT, else beside this test program (every program
// lands in the same directory). Empty when it is in neither place.
std::string probePath() {
    std::vector<std::string> dirs;
    if (const char* out = std::getenv("VORT_BUILD_OUT")) {
        dirs.push_back(out);
    }
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        dirs.push_back(std::filesystem::path(std::string(self, std::size_t(n))).parent_path());
    }
    for (const std::string& dir : dirs) {
        const std::string exe = dir + "/serilon_port_probe";
        if (::access(exe.c_str(), X_OK) == 0) {
            return exe;
        }
    }
    return {};
}

// The probe helper running in its own process; see port_probe_main.cpp.
class Probe {
public:
    // uid >= 0: the child drops to that user (and group) before running the probe.
    Probe(const char* mode, int commId, int uid = -1) {
        const std::string exe = probePath();
        if (exe.empty()) {
            return;
        }
        const std::string id = std::to_string(commId);
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) < 0 || ::pipe2(fromChild, O_CLOEXEC) < 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec.
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            if (uid >= 0 && (::setgroups(0, nullptr) < 0 || ::setgid(gid_t(uid)) < 0 ||
                             ::setuid(uid_t(uid)) < 0)) {
                ::_exit(126);
            }
            ::execl(exe.c_str(), exe.c_str(), mode, id.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
    }
    ~Probe() { finish(); }

    bool started() const { return pid_ > 0; }

    // One line of the probe's output ("" on end or after 5 s).
    std::string line() {
        std::string s;
        char c;
        while (true) {
            pollfd pfd = {out_, POLLIN, 0};
            if (::poll(&pfd, 1, 5000) <= 0 || ::read(out_, &c, 1) != 1 || c == '\n') {
                return s;
            }
            s += c;
        }
    }

    // Ends the probe; returns its exit status.
    int finish() {
        if (pid_ <= 0) {
            return -1;
        }
        ::close(in_);
        ::close(out_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
};

} // namespace

TEST(SerilonOpen, OpenCloseReopen) {
    ScopedPortMap map;
    PtyPair pty;
    map.map(kId + 1, pty.slavePath());

    ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK) << errorText(kId);
    EXPECT_EQ(SerialOpenStatus(kId), SERIAL_OK);
    EXPECT_NE(SerialInUse(kId), 0);
    EXPECT_GE(SerialOsHandle(kId), 0);
    const intptr_t t0 = SerialThreadHandle(kId, 0), t1 = SerialThreadHandle(kId, 1);
    EXPECT_GT(t0, 0);
    EXPECT_GT(t1, 0);
    EXPECT_NE(t0, t1);
    EXPECT_NE(t0, intptr_t(::gettid()));
    EXPECT_EQ(SerialThreadHandle(kId, 2), 0);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_INPUT), 4096);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_OUTPUT), 4096);
    EXPECT_EQ(SerialOutputLines(kId), SERIAL_LINE_DTR | SERIAL_LINE_RTS);
    EXPECT_EQ(SerialMaxBaud(kId), 4000000);

    // Opening an open comm id again fails and leaves the open one usable.
    EXPECT_EQ(SerialOpenPort(kId), SERIAL_E_IN_USE);
    EXPECT_EQ(SerialOpenStatus(kId), SERIAL_OK);
    EXPECT_NE(errorText(kId).find("already open"), std::string::npos);

    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
    EXPECT_EQ(SerialInUse(kId), 0);
    EXPECT_EQ(SerialOsHandle(kId), -1);
    EXPECT_EQ(SerialThreadHandle(kId, 0), 0);
    EXPECT_EQ(SerialOpenStatus(kId), SERIAL_E_NOT_OPEN);
    // Harmless on a closed comm id.
    EXPECT_EQ(SerialClosePort(kId), SERIAL_E_NOT_OPEN);

    ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK) << errorText(kId);
    const char hello[] = "again";
    uint16_t taken = 0;
    ASSERT_EQ(SerialWrite(kId, hello, 5, &taken), SERIAL_OK);
    EXPECT_EQ(taken, 5);
    EXPECT_EQ(pty.read(5), "again");
    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
}

TEST(SerilonOpen, MissingDeviceAndNonTerminalsFailWithReasons) {
    ScopedPortMap map;
    const std::string missing = map.configHome() + "/no-such-device";
    const std::string plain = map.configHome() + "/plain-file";
    std::ofstream(plain) << "not a terminal";
    map.map(kId + 1, missing);
    map.map(kOther + 1, plain);

    EXPECT_EQ(SerialOpenPort(kId), SERIAL_E_NO_DEVICE);
    // The control's sequence: open, status, close on failure.
    EXPECT_EQ(SerialOpenStatus(kId), SERIAL_E_NO_DEVICE);
    EXPECT_EQ(SerialInUse(kId), 0);
    SerialClosePort(kId);
    char buf[512];
    EXPECT_EQ(SerialErrorText(kId, buf, sizeof buf), SERIAL_E_NO_DEVICE);
    EXPECT_NE(std::string(buf).find(missing + " does not exist"), std::string::npos) << buf;
    EXPECT_NE(std::string(buf).find("COM7"), std::string::npos) << buf;

    EXPECT_EQ(SerialOpenPort(kOther), SERIAL_E_NOT_A_TTY);
    EXPECT_EQ(SerialOpenStatus(kOther), SERIAL_E_NOT_A_TTY);
    EXPECT_NE(errorText(kOther).find(plain), std::string::npos);

    EXPECT_EQ(SerialPortState(kId + 1), SERIAL_PORT_ABSENT);
    EXPECT_EQ(SerialPortState(kOther + 1), SERIAL_PORT_ABSENT);

    // A text cut to a small buffer stays terminated.
    char tiny[8];
    EXPECT_EQ(SerialErrorText(kId, tiny, sizeof tiny), SERIAL_E_NO_DEVICE);
    EXPECT_EQ(std::string(tiny).size(), 7u);
}

TEST(SerilonOpen, DeviceHeldElsewhereIsBusy) {
    ScopedPortMap map;
    PtyPair pty;
    map.map(kId + 1, pty.slavePath());
    map.map(kOther + 1, pty.slavePath());
    EXPECT_EQ(SerialPortState(kId + 1), SERIAL_PORT_READY);

    {
        Probe holder("hold", kId);
        if (!holder.started()) {
            GTEST_SKIP() << "the probe helper serilon_port_probe was not built";
        }
        ASSERT_EQ(holder.line(), "0") << "the other process could not open the port";
        EXPECT_EQ(SerialPortState(kId + 1), SERIAL_PORT_BUSY);
        EXPECT_EQ(SerialOpenPort(kId), SERIAL_E_BUSY);
        EXPECT_EQ(SerialOpenStatus(kId), SERIAL_E_BUSY);
        EXPECT_NE(errorText(kId).find(pty.slavePath() + " is in use by another program"),
                  std::string::npos)
            << errorText(kId);
        EXPECT_EQ(holder.finish(), 0);
    }

    // Free again once the other program let go.
    ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK) << errorText(kId);
    EXPECT_EQ(SerialPortState(kId + 1), SERIAL_PORT_BUSY);
    // A second comm id mapped to the same device in this process is refused too.
    EXPECT_EQ(SerialOpenPort(kOther), SERIAL_E_BUSY);
    EXPECT_EQ(SerialInUse(kOther), 0);
    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
    ASSERT_EQ(SerialOpenPort(kOther), SERIAL_OK) << errorText(kOther);
    EXPECT_EQ(SerialClosePort(kOther), SERIAL_OK);
}

TEST(SerilonOpen, PermissionDeniedTellsWhatToDo) {
    ScopedPortMap map;
    PtyPair pty;
    map.map(kId + 1, pty.slavePath());
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0), 0);

    std::string status, text;
    if (::geteuid() != 0) {
        status = std::to_string(SerialOpenPort(kId));
        text = errorText(kId);
    } else {
        // Root opens anything: the open runs in a child that became "nobody".
        Probe probe("open", kId, 65534);
        if (!probe.started()) {
            GTEST_SKIP() << "the probe helper serilon_port_probe was not built";
        }
        status = probe.line();
        text = probe.line();
        const int exit = probe.finish();
        if (exit == 126 || exit == 127 || status.empty()) {
            GTEST_SKIP() << "cannot run the probe as an unprivileged user (exit " << exit << ")";
        }
    }
    EXPECT_EQ(status, std::to_string(SERIAL_E_PERMISSION)) << text;
    EXPECT_NE(text.find("no permission to open " + pty.slavePath()), std::string::npos) << text;
    EXPECT_NE(text.find("sudo usermod -aG"), std::string::npos) << text;
    EXPECT_NE(text.find("log in again"), std::string::npos) << text;
}

namespace {

std::atomic<int> closeFromProcResult{-1};

int32_t closeInsideProc(int32_t commId, int32_t) {
    closeFromProcResult = SerialClosePort(commId);
    return 0;
}

} // namespace

TEST_F(SerilonPort, CloseFromTheEventProcedureIsRefusedWithoutDeadlock) {
    closeFromProcResult = -1;

    ASSERT_EQ(SerialSetEventProc(kId, closeInsideProc), SERIAL_OK);
    ASSERT_TRUE(pty_.writeAll("x"));
    ASSERT_TRUE(waitFor([] { return closeFromProcResult.load() != -1; }));
    EXPECT_EQ(closeFromProcResult.load(), SERIAL_E_INVALID);
    EXPECT_NE(SerialInUse(kId), 0);
    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
}

// ---- closing with output still queued -----------------------------------------------

namespace {

// Well beyond what a pseudo-terminal's kernel buffers take (12 to 68 KiB, by kernel),
// so that at the close most of it still waits in the library's queue.
constexpr std::size_t kQueued = 192000;

// Queues data on an open comm id whose peer has read nothing yet: all of it is taken,
// and what the kernel cannot hold stays in the library's queue.
void queueUnread(int commId, const std::string& data) {
    ASSERT_EQ(SerialSetBuffers(commId, 4096, 1 << 18), SERIAL_OK);
    for (std::size_t sent = 0; sent < data.size();) {
        const auto len = uint16_t(std::min<std::size_t>(data.size() - sent, 64000));
        uint16_t taken = 0;
        ASSERT_EQ(SerialWrite(commId, data.data() + sent, len, &taken), SERIAL_OK);
        ASSERT_EQ(taken, len);
        sent += taken;
    }
    ASSERT_GT(SerialQueueCount(commId, SERIAL_DIR_OUTPUT), 0);
}

using Clock = std::chrono::steady_clock;

} // namespace

TEST(SerilonClose, CloseSendsWhatIsStillQueued) {
    ScopedPortMap map;
    const std::string data = pattern(kQueued, 21);
    for (int run = 0; run < 100; ++run) {
        PtyPair pty;
        map.writeText("COM" + std::to_string(kId + 1) + "=" + pty.slavePath() + "\n");
        ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK) << errorText(kId);
        ASSERT_NO_FATAL_FAILURE(queueUnread(kId, data));
        // The peer starts reading only now, and the close follows at once.
        std::string got;
        std::thread reader([&] { got = pty.read(data.size(), 10000); });
        EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
        reader.join();
        ASSERT_EQ(got.size(), data.size()) << "run " << run;
        ASSERT_TRUE(got == data) << "run " << run;
    }
}

TEST_F(SerilonPort, CloseWaitsAsLongAsASlowPeerKeepsReading) {
    // The peer takes a little at a time, with pauses well below the 2 s a close allows
    // without progress, and needs longer than 2 s in all.
    const std::string data = pattern(kQueued, 22);
    ASSERT_NO_FATAL_FAILURE(queueUnread(kId, data));
    std::string got;
    std::thread reader([&] {
        while (got.size() < data.size()) {
            const std::string part =
                pty_.read(std::min<std::size_t>(16000, data.size() - got.size()));
            if (part.empty()) {
                return;
            }
            got += part;
            // The slow peer's pause, well below the 2 s a close waits for progress.
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
    });
    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
    reader.join();
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST_F(SerilonPort, CloseOfAPortHeldByXoffEndsWithinTheBound) {
    ASSERT_EQ(SerialSetFlow(kId, SERIAL_FLOW_XONXOFF), SERIAL_OK);
    const std::string data = pattern(kQueued, 23);
    ASSERT_NO_FATAL_FAILURE(queueUnread(kId, data));
    // The kernel takes more than its line discipline's 4 KiB before the peer stops the
    // line; the byte behind the XOFF shows that the stop took effect.
    ASSERT_TRUE(waitFor(
        [&] { return SerialQueueCount(kId, SERIAL_DIR_OUTPUT) <= int32_t(data.size() - 8192); }));
    ASSERT_TRUE(pty_.writeAll("\x13m"));
    ASSERT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 1; }));
    const int32_t queued = SerialQueueCount(kId, SERIAL_DIR_OUTPUT);
    ASSERT_GT(queued, 0);

    const auto start = Clock::now();
    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
    const auto took = Clock::now() - start;
    // It gave the line 2 s to move again, and no more.
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    EXPECT_LT(took, std::chrono::milliseconds(6000));
    EXPECT_EQ(SerialInUse(kId), 0);
    // Only what was still queued is lost: the peer reads everything the kernel had
    // taken, a clean beginning of the data.
    const std::string got = pty_.read(data.size(), 1000);
    EXPECT_LT(got.size(), data.size());
    EXPECT_GE(got.size() + std::size_t(queued), data.size());
    EXPECT_TRUE(data.compare(0, got.size(), got) == 0);
    // The device is free again at once.
    ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK) << errorText(kId);
}

TEST_F(SerilonPort, CloseAfterThePeerHungUpDoesNotWait) {
    ASSERT_NO_FATAL_FAILURE(queueUnread(kId, pattern(kQueued, 24)));
    pty_.closeMaster();
    const auto start = Clock::now();
    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
    // Ended by the hang-up itself, well before the 2 s allowed without progress.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(SerialInUse(kId), 0);
}
