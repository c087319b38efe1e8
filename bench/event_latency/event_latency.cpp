// Measures the path a scanner's answer takes: a byte written to the master of a pty
// reaches the control's OnComm handler (RThreshold 1) in the owner's thread, through the
// library's reader thread, EventProc and the posted notification. 10,000 bytes are sent
// one at a time, each after the previous one was handled; p50 and p99 are printed
// against the time a bare read of the slave takes to see the same byte (the peer).
// Then the port stays open and idle for 10 s while the owner's event loop runs, and the
// process's CPU time is printed as a share of one core.
//
//   bench_event_latency [bytes] [idle seconds]
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "control/object/vort_ctrl.h"
#include "vort/dispids.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        ::grantpt(master);
        ::unlockpt(master);
        ::ptsname_r(master, name, sizeof name);
        slave = name;
    }
    ~Pty() { ::close(master); }
};

class Sink : public vort::component::EventSink {
public:
    explicit Sink(vort::CVortCtrl& c) : c_(c) {}
    void onEvent(int32_t dispid, std::span<const vort::component::Variant>) override {
        if (dispid != vort::kEventOnComm || c_.commEvent() != 2)
            return;
        handledAt = Clock::now();
        c_.input(); // drain, as a host does
        handled.fetch_add(1);
    }
    std::atomic<int> handled{0};
    Clock::time_point handledAt;

private:
    vort::CVortCtrl& c_;
};

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The peer: how long a plain blocking poll+read on the slave takes to see a byte.
std::vector<double> bareLatencies(int count) {
    Pty pty;
    const int s = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(s, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(s, TCSANOW, &t);
    std::vector<double> out;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        char c = 'x';
        if (::write(pty.master, &c, 1) != 1)
            break;
        pollfd p{s, POLLIN, 0};
        ::poll(&p, 1, 1000);
        if (::read(s, &c, 1) != 1)
            break;
        out.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    ::close(s);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    QCoreApplication app(argc, argv);
    const auto dir =
        std::filesystem::temp_directory_path() / ("bench-events-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "serilon");
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

    Pty pty;
    std::ofstream(dir / "serilon/ports.conf") << "COM1=" << pty.slave << "\n";
    vort::CVortCtrl ctl;
    ctl.ensureWindow();
    Sink sink(ctl);
    uint32_t cookie = 0;
    ctl.advise(&sink, &cookie);
    ctl.setCommPort(1);
    ctl.setInputLen(0);
    ctl.setPortOpen(true);

    std::vector<double> latencies;
    latencies.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int before = sink.handled.load();
        const auto t0 = Clock::now();
        char c = static_cast<char>('a' + i % 26);
        if (::write(pty.master, &c, 1) != 1)
            break;
        const auto deadline = t0 + std::chrono::seconds(2);
        while (sink.handled.load() == before && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (sink.handled.load() == before) {
            std::printf("byte %d was never handled\n", i);
            return 1;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(sink.handledAt - t0).count());
    }
    const std::vector<double> bare = bareLatencies(count);
    std::printf("byte to OnComm handler (%d bytes): p50 %.3f ms, p99 %.3f ms (target p99 < 2 ms)\n",
                count, percentile(latencies, 0.5), percentile(latencies, 0.99));
    std::printf("byte to bare read (peer):          p50 %.3f ms, p99 %.3f ms\n",
                percentile(bare, 0.5), percentile(bare, 0.99));
    std::printf("ratio of p99 handler/bare:         %.1f\n",
                percentile(latencies, 0.99) / percentile(bare, 0.99));

    const double cpu0 = cpuSeconds();
    const auto wall0 = Clock::now();
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    std::printf("idle open port for %.1f s: CPU %.3f s = %.3f %% of a core (target < 1 %%)\n", wall,
                cpu, 100.0 * cpu / wall);
    ctl.setPortOpen(false);
    ctl.unadvise(cookie);
    std::filesystem::remove_all(dir);
    return 0;
}
