// How the program's waits behave on a real line.
//
// 1. CPU: one "<APP1RV:>" query that nobody answers (three attempts of 1000 ms) while
//    the process's CPU time is measured; the waits pump messages without spinning, so
//    CPU time must stay a small part of the wall time (target under 10 %).
// 2. Rate: 50 "<APP1RV:>" exchanges with the scanner simulator through a relay that
//    paces both directions at 9600 baud (10 bits a byte), timed against the time their
//    bytes need on that line (target ratio 1.5 at most), and against a bare client that
//    writes each frame and reads the answer on the same relay (the best any program
//    could do there).
//
//   bench_exchange            (needs VORT_BUILD_OUT or the tools beside it)
//
// The control is registered in a scratch registry and everything runs in scratch
// configuration directories; nothing of the user's is touched.
#include <QApplication>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "app/forms/form1.h"
#include "app/link/exchange.h"
#include "app/link/port_settings_file.h"
#include "bench/support/process_timing.h"
#include "platform/dialogs/dialogs.h"
#include "support/pty_pair.h"
#include "support/scanner_sim_harness.h"

namespace {

using namespace vort::bench;
namespace fs = std::filesystem;

constexpr double kBaud = 9600.0;
constexpr int kExchanges = 50;

// No box may come up in a benchmark; one that does is a failure, reported and refused.
class NoDialogs final : public vort::dialogs::DialogFacade {
public:
    vort::dialogs::Answer messageBox(const vort::dialogs::MessageBoxRequest& r) override {
        std::fprintf(stderr, "bench_exchange: unexpected box: %s\n",
                     r.text.toLocal8Bit().constData());
        failed = true;
        return vort::dialogs::Answer::Cancel;
    }
    vort::dialogs::FileDialogResult fileDialog(const vort::dialogs::FileDialogRequest&) override {
        failed = true;
        return {};
    }
    bool shellOpen(const QString&) override { return false; }
    bool failed = false;
};

// Copies bytes between the program's pseudo-terminal (master side) and the scanner's
// terminal, each direction paced as a 9600 baud line: a byte is handed on one
// character time after the previous one, never earlier than it arrived plus one
// character time.
class PacedRelay {
public:
    PacedRelay(int programMaster, const std::string& scannerDevice) : a_(programMaster) {
        b_ = ::open(scannerDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (b_ < 0)
            throw std::runtime_error("cannot open the scanner's terminal");
        termios t{};
        tcgetattr(b_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(b_, TCSANOW, &t);
        if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::runtime_error("pipe");
        thread_ = std::thread([this] { run(); });
    }
    ~PacedRelay() {
        stop_ = true;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], "x", 1);
        thread_.join();
        ::close(b_);
        ::close(wake_[0]);
        ::close(wake_[1]);
    }
    uint64_t bytesCarried() const { return carried_; }

private:
    struct Direction {
        int from;
        int to;
        std::deque<std::pair<Clock::time_point, char>> queue;
        Clock::time_point lineFree{};
    };

    void run() {
        const auto charTime = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(lineSeconds(1, kBaud)));
        Direction dirs[2] = {{a_, b_, {}, {}}, {b_, a_, {}, {}}};
        while (!stop_) {
            auto next = Clock::time_point::max();
            for (Direction& d : dirs)
                if (!d.queue.empty())
                    next = std::min(next, d.queue.front().first);
            timespec ts{};
            timespec* timeout = nullptr;
            if (next != Clock::time_point::max()) {
                const auto left = std::max(Clock::duration::zero(), next - Clock::now());
                ts.tv_sec = std::chrono::duration_cast<std::chrono::seconds>(left).count();
                ts.tv_nsec = (left - std::chrono::seconds(ts.tv_sec)).count();
                timeout = &ts;
            }
            pollfd fds[3] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::ppoll(fds, 3, timeout, nullptr) < 0 && errno != EINTR)
                break;
            const auto now = Clock::now();
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                char buf[512];
                const ssize_t n = ::read(dirs[i].from, buf, sizeof buf);
                for (ssize_t k = 0; k < n; ++k) {
                    Direction& d = dirs[i];
                    d.lineFree = std::max(d.lineFree, now) + charTime;
                    d.queue.emplace_back(d.lineFree, buf[k]);
                }
            }
            for (Direction& d : dirs) {
                std::string due;
                while (!d.queue.empty() && d.queue.front().first <= Clock::now()) {
                    due.push_back(d.queue.front().second);
                    d.queue.pop_front();
                }
                if (!due.empty()) {
                    carried_ += due.size();
                    size_t off = 0;
                    while (off < due.size()) {
                        const ssize_t w = ::write(d.to, due.data() + off, due.size() - off);
                        if (w > 0)
                            off += size_t(w);
                        else if (errno != EAGAIN)
                            break;
                    }
                }
            }
        }
    }

    int a_;
    int b_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> carried_{0};
    std::thread thread_;
};

// A bare client: writes each frame to the terminal and reads until the answer's CR LF.
double bareClientSeconds(const std::string& device, int exchanges) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t);
    const std::string frame = "\x01<APP1RV:>\x04";
    const auto start = Clock::now();
    for (int i = 0; i < exchanges; ++i) {
        if (::write(fd, frame.data(), frame.size()) != ssize_t(frame.size()))
            break;
        std::string got;
        while (got.find("\r\n") == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 3000) <= 0)
                break;
            char buf[64];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, size_t(n));
        }
    }
    const double s = seconds(Clock::now() - start);
    ::close(fd);
    return s;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string out = buildOut();
    const std::string data = registerControl(out, "bench_exchange");
    if (data.empty())
        return 2;
    QApplication app(argc, argv);
    NoDialogs noDialogs;
    vort::dialogs::setDialogs(&noDialogs);

    int status = 0;
    {
        // The program's port 1 is the master side of this pair, through the relay.
        vort::test::PtyPair line;
        vort::test::ScopedPortMap portMap;
        portMap.map(1, line.slavePath());
        tcu::Form1 form;
        form.core().LoadPortSettings();
        form.CommCtl1.setCommPort(1);
        form.CommCtl1.setSettings("9600,N,8,1");
        form.CommCtl1.setPortOpen(true);
        form.CommCtl1.setInputLen(0);

        // 1. A query nobody answers.
        const double cpu0 = processCpuSeconds();
        const auto t0 = Clock::now();
        const int16_t silent = form.ExchangeCommand("<APP1RV:>");
        const double wall = seconds(Clock::now() - t0);
        const double cpu = processCpuSeconds() - cpu0;
        std::printf("timed-out query: result %d, wall %.3f s, process CPU %.3f s, CPU/wall %.1f %%"
                    " (target < 10 %%)\n",
                    silent, wall, cpu, 100.0 * cpu / wall);
        if (silent != 0 || cpu / wall >= 0.10)
            status = 1;

        // 2. The scanner behind a 9600 baud relay.
        vort::test::ScannerSimHarness sim;
        vort::test::ScannerSimStart how;
        how.args = {"--baud", "9600"};
        if (!sim.start(how)) {
            std::fprintf(stderr, "bench_exchange: %s\n", sim.error().c_str());
            return 2;
        }
        double programSeconds = 0;
        uint64_t programBytes = 0;
        int ok = 0;
        {
            // The frames of the unanswered query still wait in the pair: they must not
            // reach the scanner and come back as answers to later exchanges.
            tcflush(line.master(), TCIOFLUSH);
            char stale[256];
            while (::read(line.master(), stale, sizeof stale) > 0) {
            }
            PacedRelay relay(line.master(), sim.devicePath());
            const auto start = Clock::now();
            for (int i = 0; i < kExchanges; ++i)
                ok += form.ExchangeCommand("<APP1RV:>");
            programSeconds = seconds(Clock::now() - start);
            programBytes = relay.bytesCarried();
        }
        form.CommCtl1.setPortOpen(false);

        double bareSeconds = 0;
        uint64_t bareBytes = 0;
        {
            // The same exchanges by a bare client on the same kind of relay.
            vort::test::PtyPair bareLine;
            PacedRelay relay(bareLine.master(), sim.devicePath());
            bareSeconds = bareClientSeconds(bareLine.slavePath(), kExchanges);
            bareBytes = relay.bytesCarried();
        }
        const double lineTime = lineSeconds(programBytes, kBaud);
        std::printf("%d of %d \"<APP1RV:>\" exchanges at 9600 baud: %.3f s; their %llu bytes "
                    "need %.3f s on the line; ratio %.2f (target <= 1.5)\n",
                    ok, kExchanges, programSeconds, static_cast<unsigned long long>(programBytes),
                    lineTime, programSeconds / lineTime);
        std::printf("bare client, same relay: %.3f s for %llu bytes; program / bare client "
                    "%.2f\n",
                    bareSeconds, static_cast<unsigned long long>(bareBytes),
                    programSeconds / bareSeconds);
        if (ok != kExchanges || programSeconds / lineTime > 1.5)
            status = 1;
        sim.stop();
    }
    vort::dialogs::setDialogs(nullptr);
    fs::remove_all(data);
    if (noDialogs.failed)
        status = 1;
    return status;
}
