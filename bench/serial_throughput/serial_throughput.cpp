// Pushes the same bytes through two identical paths and prints both rates and their
// ratio:
//   library: SerialWrite(COM1) -> pty A -> relay -> pty B -> SerialRead(COM2)
//   plain:   write(slave A)    -> pty A -> relay -> pty B -> read(slave B)
// The relay copies master A to master B in both runs, so the only difference is the
// library's queues and threads against a bare read/write loop.
//
//   bench_serial_throughput [MiB] [rounds]   (default 64 MiB, 3 rounds)
//
// The two paths take turns, rounds times each; the best time of each counts, so that a
// busy moment of the machine does not decide the ratio.
#include "serilon/serilon.h"

#include <algorithm>
#include <atomic>
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

namespace {

using Clock = std::chrono::steady_clock;

// The queue sizes the control uses at most.
constexpr int kQueueSize = 32000;

struct Pty {
    int master = -1;
    std::string slave;

    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0 ||
            ::ptsname_r(master, name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        slave = name;
    }
    ~Pty() { ::close(master); }
};

// Copies everything from one master to the other until `total` bytes went across.
void relay(int from, int to, std::size_t total) {
    std::vector<char> buf(65536);
    std::size_t moved = 0;
    while (moved < total) {
        const ssize_t n = ::read(from, buf.data(), buf.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = ::write(to, buf.data() + off, std::size_t(n - off));
            if (w <= 0) {
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                return;
            }
            off += w;
        }
        moved += std::size_t(n);
    }
}

int openRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

double plainRun(const std::vector<char>& data) {
    Pty a, b;
    const int out = openRaw(a.slave);
    const int in = openRaw(b.slave);
    const auto start = Clock::now();
    std::thread relayThread(relay, a.master, b.master, data.size());
    std::thread writer([&] {
        for (std::size_t off = 0; off < data.size();) {
            const ssize_t w = ::write(out, data.data() + off,
                                      std::min<std::size_t>(kQueueSize, data.size() - off));
            if (w > 0) {
                off += std::size_t(w);
            }
        }
    });
    std::vector<char> buf(kQueueSize);
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n > 0) {
            got += std::size_t(n);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    relayThread.join();
    ::close(out);
    ::close(in);
    return seconds;
}

double libraryRun(const std::vector<char>& data, const std::string& configHome) {
    Pty a, b;
    std::filesystem::create_directories(configHome + "/serilon");
    std::ofstream(configHome + "/serilon/ports.conf")
        << "COM1=" << a.slave << "\nCOM2=" << b.slave << "\n";
    ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    if (SerialOpenPort(0) != SERIAL_OK || SerialOpenPort(1) != SERIAL_OK) {
        char text[256];
        SerialErrorText(0, text, sizeof text);
        throw std::runtime_error(std::string("cannot open the ports: ") + text);
    }
    SerialSetBuffers(0, kQueueSize, kQueueSize);
    SerialSetBuffers(1, kQueueSize, kQueueSize);

    const auto start = Clock::now();
    std::thread relayThread(relay, a.master, b.master, data.size());
    std::thread writer([&] {
        for (std::size_t off = 0; off < data.size();) {
            uint16_t taken = 0;
            const auto len = uint16_t(std::min<std::size_t>(kQueueSize, data.size() - off));
            SerialWrite(0, data.data() + off, len, &taken);
            off += taken;
            if (taken < len) {
                // Wait for the output queue to move, as the control's send loop does.
                SerialWaitQueue(0, SERIAL_DIR_OUTPUT, SerialQueueCount(0, SERIAL_DIR_OUTPUT), 50);
            }
        }
    });
    std::vector<char> buf(65000);
    std::size_t got = 0;
    while (got < data.size()) {
        uint16_t n = 0;
        SerialRead(1, buf.data(), uint16_t(buf.size()), &n);
        got += n;
        if (n == 0) {
            SerialWaitQueue(1, SERIAL_DIR_INPUT, 0, 50);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    relayThread.join();
    SerialClosePort(0);
    SerialClosePort(1);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::size_t(std::max(1, std::atoi(argv[1]))) : 64;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::vector<char> data(mib << 20);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = char(i * 2654435761u >> 13);
    }
    char dirTemplate[] = "/tmp/serilon-bench-XXXXXX";
    if (!::mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    try {
        double plain = 1e9, library = 1e9;
        for (int round = 0; round < rounds; ++round) {
            plain = std::min(plain, plainRun(data));
            library = std::min(library, libraryRun(data, dirTemplate));
        }
        std::filesystem::remove_all(dirTemplate);
        const double plainRate = double(mib) / plain;
        const double libraryRate = double(mib) / library;
        std::printf("serial_throughput: %zu MiB over pty pairs, queues %d bytes, best of %d\n", mib,
                    kQueueSize, rounds);
        std::printf("  plain read/write : %8.1f MiB/s (%.3f s)\n", plainRate, plain);
        std::printf("  libserilon       : %8.1f MiB/s (%.3f s)\n", libraryRate, library);
        std::printf("  ratio library/plain: %.2f\n", libraryRate / plainRate);
    } catch (const std::exception& e) {
        std::filesystem::remove_all(dirTemplate);
        std::fprintf(stderr, "serial_throughput: %s\n", e.what());
        return 1;
    }
    return 0;
}
