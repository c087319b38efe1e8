// Pushes the same bytes through two identical paths and prints both rates, their
// ratio and the bytes lost:
//   control: Output (COM1) -> pty A -> relay -> pty B -> Input (COM2, binary, InputLen 0)
//   plain:   write(slave A) -> pty A -> relay -> pty B -> read(slave B)
// One thread drives each path as a host would: it writes a chunk, then reads what has
// arrived, and repeats; the relay copies master A to master B.
//
//   bench_control_throughput [MiB] [rounds]   (default 64 MiB, 3 rounds; best time counts)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "control/object/vort_ctrl.h"

namespace {

using Clock = std::chrono::steady_clock;
using vort::CVortCtrl;
using vort::component::Variant;

constexpr size_t kChunk = 32000;

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0 ||
            ::ptsname_r(master, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave = name;
        termios t{};
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ~Pty() { ::close(master); }
};

void relay(int from, int to, size_t total) {
    std::vector<char> buf(65536);
    size_t moved = 0;
    while (moved < total) {
        const ssize_t n = ::read(from, buf.data(), buf.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = ::write(to, buf.data() + off, static_cast<size_t>(n - off));
            if (w <= 0) {
                if (w < 0 && errno == EINTR)
                    continue;
                return;
            }
            off += w;
        }
        moved += static_cast<size_t>(n);
    }
}

struct Result {
    double seconds = 0;
    size_t received = 0;
    bool intact = false;
};

Result runControl(const std::vector<uint8_t>& data) {
    Pty a, b;
    {
        std::ofstream conf(std::string(std::getenv("XDG_CONFIG_HOME")) + "/serilon/ports.conf");
        conf << "COM1=" << a.slave << "\nCOM2=" << b.slave << "\n";
    }
    CVortCtrl out, in;
    out.setCommPort(1);
    in.setCommPort(2);
    out.setOutBufferSize(32000);
    in.setInBufferSize(32000);
    out.setSettings(u"115200,N,8,1");
    in.setSettings(u"115200,N,8,1");
    in.setInputMode(1);
    in.setInputLen(0);
    out.setPortOpen(true);
    in.setPortOpen(true);

    std::thread r(relay, a.master, b.master, data.size());
    Result res;
    std::vector<uint8_t> got;
    got.reserve(data.size());
    const auto start = Clock::now();
    size_t sent = 0;
    auto drain = [&] {
        Variant v = in.input();
        got.insert(got.end(), v.byteArray().begin(), v.byteArray().end());
    };
    const auto deadline = start + std::chrono::seconds(120);
    while (got.size() < data.size() && Clock::now() < deadline) {
        if (sent < data.size()) {
            const size_t n = std::min(kChunk, data.size() - sent);
            out.setOutput(
                Variant::bytes(std::vector<uint8_t>(data.begin() + sent, data.begin() + sent + n)));
            sent += n;
        }
        drain();
        if (sent >= data.size() && got.size() < data.size())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    res.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    res.received = got.size();
    res.intact = got == data;
    out.setPortOpen(false);
    in.setPortOpen(false);
    r.join();
    return res;
}

Result runPlain(const std::vector<uint8_t>& data) {
    Pty a, b;
    const int wa = ::open(a.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const int rb = ::open(b.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    for (int fd : {wa, rb}) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    std::thread r(relay, a.master, b.master, data.size());
    Result res;
    std::vector<uint8_t> got(data.size());
    size_t sent = 0, received = 0;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(120);
    while (received < data.size() && Clock::now() < deadline) {
        pollfd p[2] = {{wa, static_cast<short>(sent < data.size() ? POLLOUT : 0), 0},
                       {rb, POLLIN, 0}};
        ::poll(p, 2, 100);
        if (sent < data.size() && (p[0].revents & POLLOUT)) {
            const ssize_t w = ::write(wa, data.data() + sent, std::min(kChunk, data.size() - sent));
            if (w > 0)
                sent += static_cast<size_t>(w);
        }
        if (p[1].revents & POLLIN) {
            const ssize_t n = ::read(rb, got.data() + received, data.size() - received);
            if (n > 0)
                received += static_cast<size_t>(n);
        }
    }
    res.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    res.received = received;
    got.resize(received);
    res.intact = got == data;
    r.join();
    ::close(wa);
    ::close(rb);
    return res;
}

} // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const auto dir =
        std::filesystem::temp_directory_path() / ("bench-control-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "serilon");
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

    std::vector<uint8_t> data(mib << 20);
    uint32_t x = 2463534242u;
    for (auto& byte : data) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        byte = static_cast<uint8_t>(x);
    }
    double bestControl = 1e9, bestPlain = 1e9;
    size_t lost = 0;
    for (int i = 0; i < rounds; ++i) {
        Result c = runControl(data);
        Result p = runPlain(data);
        lost += data.size() - c.received;
        if (!c.intact)
            std::printf("round %d: control path delivered %zu bytes, not intact\n", i, c.received);
        bestControl = std::min(bestControl, c.seconds);
        bestPlain = std::min(bestPlain, p.seconds);
    }
    const double mb = static_cast<double>(data.size()) / (1024.0 * 1024.0);
    std::printf("control Output->Input: %.1f MiB/s\n", mb / bestControl);
    std::printf("plain write/read:      %.1f MiB/s\n", mb / bestPlain);
    std::printf("ratio control/plain:   %.2f (target >= 0.5)\n", bestPlain / bestControl);
    std::printf("bytes lost:            %zu\n", lost);
    std::filesystem::remove_all(dir);
    return lost == 0 ? 0 : 1;
}
