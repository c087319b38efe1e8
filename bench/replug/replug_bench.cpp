// How fast tcu1 gets its scanner back after a replug, and what waiting for it costs, on
// a fake USB serial adapter in a umockdev testbed (the serial core's real device calls
// and hot-plug watch; the scanner's side acknowledges every frame).
//
// 1. Return: the adapter is pulled out and plugged in again as the next node (ttyUSB1,
//    ttyUSB2, ...) with the same serial number and by-id name, which the port map names.
//    Timed: from the device's return to the scanner's acknowledged ping, 20 times
//    (target under 1 s), against a bare client told of the return by the serial core's
//    watch that opens the device by its by-id name, sets the line and pings: the least
//    any program can do.
// 2. Idle: the process's CPU time over 10 s while the device is away (target under 1 %
//    of a core), against the same 10 s with the scanner connected and nothing to do.
//
//   bench_replug            (needs VORT_BUILD_OUT or the tools beside it; runs itself
//                            under umockdev-wrapper)
//
// The control is registered in a scratch registry and everything runs in scratch
// configuration directories; nothing of the user's is touched.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "app/forms/form1.h"
#include "bench/support/process_timing.h"
#include "platform/dialogs/dialogs.h"
#include "serilon/serilon.h"
#include "support/umockdev_testbed.h"
#include "tests/app/devices/ack_responder.h"

namespace {

using vort::bench::Clock;
using vort::bench::processCpuSeconds;
using vort::bench::seconds;
namespace fs = std::filesystem;

constexpr int kRounds = 20;
constexpr int kIdleSeconds = 10;

class NoDialogs final : public vort::dialogs::DialogFacade {
public:
    vort::dialogs::Answer messageBox(const vort::dialogs::MessageBoxRequest& r) override {
        std::fprintf(stderr, "bench_replug: unexpected box: %s\n",
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

// Runs the event loop until pred holds or timeoutMs pass.
bool runUntil(const std::function<bool()>& pred, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// The event loop for ms, doing nothing else.
void idleFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The peer: opens path, 9600,N,8,1 raw, sends the ping frame and waits for the ACK.
// Seconds taken, or a negative number when no ACK came within 2 s.
double barePing(const std::string& path) {
    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t);
    const char frame[] = "\x01<TXPING:>\x04";
    double taken = -1;
    if (::write(fd, frame, sizeof frame - 1) == static_cast<ssize_t>(sizeof frame - 1)) {
        const auto deadline = start + std::chrono::seconds(2);
        while (Clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char c = 0;
            bool acked = false;
            while (::read(fd, &c, 1) == 1)
                acked = acked || c == '\x06';
            if (acked) {
                taken = seconds(Clock::now() - start);
                break;
            }
        }
    }
    ::close(fd);
    return taken;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (!vort::test::UmockdevTestbed::preloaded()) {
        // The testbed needs umockdev's preload library from the start.
        std::vector<char*> args{const_cast<char*>("umockdev-wrapper")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("umockdev-wrapper", args.data());
        std::perror("bench_replug: umockdev-wrapper");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string out = vort::bench::buildOut();
    const std::string config = vort::bench::scratchDir("bench-replug-config-XXXXXX");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const std::string data = vort::bench::registerControl(out, "bench_replug");
    if (data.empty())
        return 2;
    QApplication app(argc, argv);
    NoDialogs noDialogs;
    vort::dialogs::setDialogs(&noDialogs);

    vort::test::UmockdevTestbed testbed;
    vort::test::FakeSerialDevice adapter;
    adapter.serial = "BENCH42";
    adapter.withNode = true;
    adapter.name = "ttyUSB0";
    std::string sysPath = testbed.add(adapter);
    auto scanner = std::make_unique<tcu::test::AckResponder>(testbed.masterFd(adapter.name));
    const std::string byId = vort::test::UmockdevTestbed::byIdName(adapter);
    if (SerialMapPort(1, byId.c_str()) != SERIAL_OK) {
        std::fprintf(stderr, "bench_replug: cannot map COM1 to %s\n", byId.c_str());
        return 2;
    }

    std::vector<double> program;
    std::vector<double> bare;
    double goneCpu = 0, idleCpu = 0;
    int node = 0;
    {
        auto core = std::make_unique<tcu::ProgramCore>();
        core->LoadPortSettings();
        tcu::Form1 form(std::move(core));
        if (form.core().AutoBaudDetect().outcome != tcu::DetectionOutcome::Found) {
            std::fprintf(stderr, "bench_replug: the scanner was not found\n");
            return 2;
        }

        // The CPU of the connected, idle program: the baseline.
        double cpu0 = processCpuSeconds();
        auto t0 = Clock::now();
        idleFor(kIdleSeconds * 1000);
        idleCpu = (processCpuSeconds() - cpu0) / seconds(Clock::now() - t0);

        for (int round = 0; round < kRounds; ++round) {
            testbed.remove(sysPath);
            if (!runUntil([&] { return !form.connectedShown(); }, 10000)) {
                std::fprintf(stderr, "bench_replug: the pull-out was not seen\n");
                return 1;
            }
            scanner.reset();
            if (round == 0) {
                cpu0 = processCpuSeconds();
                t0 = Clock::now();
                idleFor(kIdleSeconds * 1000);
                goneCpu = (processCpuSeconds() - cpu0) / seconds(Clock::now() - t0);
            }
            adapter.name = "ttyUSB" + std::to_string(++node);
            const auto back = Clock::now();
            sysPath = testbed.add(adapter);
            scanner = std::make_unique<tcu::test::AckResponder>(testbed.masterFd(adapter.name));
            const bool acked = runUntil(
                [&] {
                    return form.sbrStatus->panelText(2).startsWith(
                        QStringLiteral("Scanner reconnected"));
                },
                10000);
            if (!acked) {
                std::fprintf(stderr, "bench_replug: round %d: %s\n", round,
                             form.sbrStatus->panelText(2).toLocal8Bit().constData());
                return 1;
            }
            program.push_back(seconds(Clock::now() - back));
            form.sbrStatus->setPanelText(2, QString());
        }
        form.CommCtl1.setPortOpen(false);

        form.core().end();
    }

    // The peer, the program gone (its watch too): told of each return by the serial core's
    // watch, it opens the device by its by-id name and pings.
    intptr_t watch = 0;
    if (SerialWatchDevices(&watch) != SERIAL_OK)
        return 2;
    for (int round = 0; round < kRounds; ++round) {
        scanner.reset();
        testbed.remove(sysPath);
        adapter.name = "ttyUSB" + std::to_string(++node);
        const auto back = Clock::now();
        sysPath = testbed.add(adapter);
        scanner = std::make_unique<tcu::test::AckResponder>(testbed.masterFd(adapter.name));
        bool returned = false;
        while (!returned && Clock::now() - back < std::chrono::seconds(10)) {
            pollfd p{SerialWatchFd(watch), POLLIN, 0};
            ::poll(&p, 1, 100);
            int32_t action = 0;
            SerialDeviceInfo info{};
            while (SerialWatchNext(watch, &action, &info) == SERIAL_OK)
                returned = returned || action == SERIAL_DEVICE_ADDED;
        }
        if (!returned || barePing(byId) < 0) {
            std::fprintf(stderr, "bench_replug: the bare client got no ACK\n");
            return 1;
        }
        bare.push_back(seconds(Clock::now() - back));
    }
    SerialUnwatchDevices(watch);
    scanner.reset();

    const double programMedian = median(program);
    const double programMax = *std::max_element(program.begin(), program.end());
    const double bareMedian = median(bare);
    std::printf("return to acknowledged ping: median %.1f ms, max %.1f ms over %d returns "
                "(target < 1000 ms); bare client: median %.1f ms; ratio %.1f\n",
                1000 * programMedian, 1000 * programMax, kRounds, 1000 * bareMedian,
                bareMedian > 0 ? programMedian / bareMedian : 0.0);
    std::printf("CPU while the device is away: %.3f %% of a core over %d s (target < 1 %%); "
                "connected and idle: %.3f %%; ratio %.2f\n",
                100 * goneCpu, kIdleSeconds, 100 * idleCpu, idleCpu > 0 ? goneCpu / idleCpu : 0.0);
    fs::remove_all(data);
    fs::remove_all(config);
    return programMax >= 1.0 || goneCpu >= 0.01 || noDialogs.failed ? 1 : 0;
}
