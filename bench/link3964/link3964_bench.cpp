// Measures, over two pseudo-terminal pairs joined by a relay thread (as two serial
// ports joined by a cable):
//   1. 64-byte telegrams one way with 3964R, against a raw stop-and-wait exchange of the
//      same 64 bytes answered by one byte;
//   2. a 1 MiB file sent with RS_TXFile_3964R, against 1 MiB written raw.
// Prints the figures and their ratios.

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link3964/link3964.h"
#include "serilon/serilon.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::int32_t kA = 40, kB = 41;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256];
        if (master < 0 || ::grantpt(master) || ::unlockpt(master) ||
            ::ptsname_r(master, name, sizeof name))
            throw std::runtime_error("no pseudo-terminal");
        slave = name;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { ::close(master); }
    int master;
    std::string slave;
};

// Copies bytes between the two masters until stopped.
class Relay {
public:
    Relay(int a, int b) : a_(a), b_(b), wake_(::eventfd(0, EFD_CLOEXEC)) {
        thread_ = std::thread([this] { run(); });
    }
    ~Relay() {
        std::uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
        thread_.join();
        ::close(wake_);
    }

private:
    void run() {
        std::vector<char> buf(65536);
        for (;;) {
            pollfd fds[3] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}, {wake_, POLLIN, 0}};
            if (::poll(fds, 3, 1000) < 0 || fds[2].revents)
                return;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                int from = i == 0 ? a_ : b_, to = i == 0 ? b_ : a_;
                ssize_t n = ::read(from, buf.data(), buf.size());
                for (ssize_t done = 0; n > 0 && done < n;) {
                    ssize_t w = ::write(to, buf.data() + done, static_cast<std::size_t>(n - done));
                    if (w > 0) {
                        done += w;
                    } else {
                        pollfd p{to, POLLOUT, 0};
                        ::poll(&p, 1, 100);
                    }
                }
            }
        }
    }
    int a_, b_, wake_;
    std::thread thread_;
};

template <typename F> F bind(void* h, const char* name) {
    auto f = reinterpret_cast<F>(::dlsym(h, name));
    if (!f)
        throw std::runtime_error(std::string("missing ") + name);
    return f;
}

// Reads exactly n bytes from comm id within 10 s.
bool readExactly(std::int32_t id, std::uint8_t* buf, std::size_t n) {
    auto giveUp = Clock::now() + std::chrono::seconds(10);
    std::size_t got = 0;
    while (got < n) {
        std::uint16_t g = 0;
        SerialRead(id, buf + got, static_cast<std::uint16_t>(std::min<std::size_t>(n - got, 65535)),
                   &g);
        got += g;
        if (g == 0) {
            if (Clock::now() > giveUp)
                return false;
            SerialWaitQueue(id, SERIAL_DIR_INPUT, 0, 100);
        }
    }
    return true;
}

void writeAll(std::int32_t id, const std::uint8_t* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        std::uint16_t taken = 0;
        SerialWrite(id, data + done,
                    static_cast<std::uint16_t>(std::min<std::size_t>(n - done, 65535)), &taken);
        done += taken;
        if (taken == 0)
            SerialWaitQueue(id, SERIAL_DIR_OUTPUT, SerialQueueCount(id, SERIAL_DIR_OUTPUT), 100);
    }
}

} // namespace

int main(int argc, char** argv) {
    try {
        fs::path scratch =
            fs::temp_directory_path() / ("link3964-bench-" + std::to_string(::getpid()));
        fs::create_directories(scratch / "serilon");
        fs::create_directories(scratch / "in");
        Pty ptyA, ptyB;
        std::ofstream(scratch / "serilon" / "ports.conf")
            << "COM" << kA + 1 << "=" << ptyA.slave << "\nCOM" << kB + 1 << "=" << ptyB.slave
            << "\n";
        ::setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
        if (SerialOpenPort(kA) != SERIAL_OK || SerialOpenPort(kB) != SERIAL_OK)
            throw std::runtime_error("cannot open the pty slaves");
        SerialSetLine(kA, 115200, 8, 1, 'N', 0);
        SerialSetLine(kB, 115200, 8, 1, 'N', 0);
        Relay relay(ptyA.master, ptyB.master);

        fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
        void* h = ::dlopen((self / "liblink3964.so").c_str(), RTLD_NOW);
        if (!h)
            throw std::runtime_error(::dlerror());
        auto tx = bind<decltype(&RS_TX3964R)>(h, "RS_TX3964R");
        auto rx = bind<decltype(&RS_RX3964R)>(h, "RS_RX3964R");
        auto txFile = bind<decltype(&RS_TXFile_3964R)>(h, "RS_TXFile_3964R");
        auto rxFile = bind<decltype(&RS_RXFile_3964R)>(h, "RS_RXFile_3964R");

        const int kTelegrams = argc > 2 ? std::atoi(argv[2]) : 3000;
        std::vector<std::uint8_t> telegram(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64);
        for (std::size_t i = 0; i < telegram.size(); ++i)
            telegram[i] = static_cast<std::uint8_t>(i * 37);

        // Raw stop-and-wait: 64 bytes, one byte back.
        auto t0 = Clock::now();
        std::thread echo([&] {
            std::vector<std::uint8_t> buf(telegram.size());
            std::uint8_t ack = 0x06;
            for (int i = 0; i < kTelegrams; ++i) {
                if (!readExactly(kB, buf.data(), buf.size()))
                    return;
                writeAll(kB, &ack, 1);
            }
        });
        for (int i = 0; i < kTelegrams; ++i) {
            std::uint8_t ack;
            writeAll(kA, telegram.data(), telegram.size());
            if (!readExactly(kA, &ack, 1))
                throw std::runtime_error("raw exchange stalled");
        }
        echo.join();
        double rawRate = kTelegrams / secondsSince(t0);

        // 3964R telegrams.
        std::atomic<int> receivedOk{0};
        t0 = Clock::now();
        std::thread receiver([&] {
            std::vector<std::uint8_t> buf(4096);
            auto giveUp = Clock::now() + std::chrono::seconds(120);
            while (receivedOk < kTelegrams && Clock::now() < giveUp) {
                std::uint16_t len = static_cast<std::uint16_t>(buf.size());
                std::int32_t status = 0;
                std::uint8_t flag = 0;
                if (rx(kB, buf.data(), &len, &status, 2000, &flag, 1))
                    ++receivedOk;
            }
        });
        int failures = 0;
        for (int i = 0; i < kTelegrams; ++i) {
            std::int32_t status = 0;
            if (!tx(kA, telegram.data(), static_cast<std::uint16_t>(telegram.size()), &status, 0, 1,
                    1))
                ++failures;
        }
        receiver.join();
        double linkRate = receivedOk / secondsSince(t0);

        // Raw 1 MiB.
        constexpr std::size_t kFile = 1 << 20;
        std::vector<std::uint8_t> content(kFile);
        std::mt19937 rng(3);
        for (auto& c : content)
            c = static_cast<std::uint8_t>(rng());
        t0 = Clock::now();
        std::thread sink([&] {
            std::vector<std::uint8_t> buf(kFile);
            readExactly(kB, buf.data(), buf.size());
        });
        writeAll(kA, content.data(), content.size());
        sink.join();
        double rawSeconds = secondsSince(t0);

        // 1 MiB file with the procedure.
        fs::path source = scratch / "payload.bin";
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()),
                   static_cast<std::streamsize>(content.size()));
        std::int32_t rxStatus = 0, txStatus = 0;
        std::string target = (scratch / "in").string() + "/";
        t0 = Clock::now();
        std::thread fileReceiver([&] { rxFile(kB, target.c_str(), &rxStatus); });
        std::uint8_t sent = txFile(kA, source.c_str(), &txStatus);
        fileReceiver.join();
        double fileSeconds = secondsSince(t0);
        bool identical = fs::exists(scratch / "in" / "payload.bin") &&
                         fs::file_size(scratch / "in" / "payload.bin") == kFile;

        std::printf("%zu-byte telegrams, one way: %.0f telegrams/s with 3964R (%d of %d "
                    "delivered, %d failed)\n",
                    telegram.size(), linkRate, receivedOk.load(), kTelegrams, failures);
        std::printf("raw stop-and-wait, same size: %.0f exchanges/s\n", rawRate);
        std::printf("ratio telegrams/raw exchanges: %.2f\n", linkRate / rawRate);
        std::printf("1 MiB raw:                     %.3f s (%.1f MiB/s)\n", rawSeconds,
                    1.0 / rawSeconds);
        std::printf("1 MiB file over 3964R:         %.3f s (%s, status %d/%d)\n", fileSeconds,
                    sent && identical ? "complete" : "FAILED", txStatus, rxStatus);
        std::printf("efficiency file/raw:           %.2f\n", rawSeconds / fileSeconds);

        SerialClosePort(kA);
        SerialClosePort(kB);
        fs::remove_all(scratch);
        return sent && identical && failures == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "link3964_bench: %s\n", e.what());
        return 2;
    }
}
