// Prints the throughput of our ZMODEM engines and of lrzsz over the same lines, and
// the ratio of ours to lrzsz's:
//   1. a bare pseudo-terminal pair, a 64 MiB random file (rate in MB/s, ratio);
//   2. a relay limited to 115200 baud (11,520 bytes/s), random data: efficiency
//      against the line rate (escaping makes about 0.973 the ceiling);
//   3. the same line with one byte in 10,000 corrupted.
// Options: --big-mib N, --slow-kib N, --noisy-kib N (0 skips a part), --seed N.
#include "bench/zmodem_throughput/lrzsz_run.h"
#include "tests/libs/transvex/line_relay.h"
#include "tests/libs/transvex/pty_peer.h"
#include "tests/libs/transvex/test_files.h"

#include "libs/transvex/fd_channel.h"
#include "libs/transvex/file_record.h"
#include "libs/transvex/session_runner.h"
#include "libs/transvex/zmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

using namespace transvex;
using namespace transvex::test;

namespace {

// lrzsz sizes its subpackets and windows from the terminal's speed; both sides of
// both runs get the highest speed a pseudo-terminal takes, so neither is held back.
// On the 115200-baud relay the ptys keep their default speed: told 115200, lrzsz
// loses some 30 s per transfer there, which would not be a fair comparison.
void setTerminalSpeed(int fd, speed_t speed) {
    struct termios t {};
    if (tcgetattr(fd, &t) == 0) {
        cfsetspeed(&t, speed);
        tcsetattr(fd, TCSANOW, &t);
    }
}

// Our sender on fdA, our receiver on fdB (storing into dir). Seconds, or -1 on failure.
double runOurs(int fdA, int fdB, const std::string& file, const std::string& dir) {
    FdChannel a(fdA), b(fdB);
    int32_t rxStatus = 1, txStatus = 1;
    const auto t0 = std::chrono::steady_clock::now();
    std::thread rxThread([&] {
        EngineIo io = channelIo(b, [&dir](int32_t action, int32_t, XferFileInfo* r) {
            if (action == XFER_ACTION_RX_HEADER) {
                setRecordName(*r, dir + "/" + recordName(*r));
            }
            return int32_t{XFER_RESULT_GO_ON};
        });
        ZmodemReceiver rx(ZmodemReceiverConfig{}, std::move(io));
        rxStatus = runSession(rx, b);
    });
    ZmodemSenderConfig c;
    c.path = file;
    ZmodemSender tx(c, channelIo(a, {}));
    txStatus = runSession(tx, a);
    rxThread.join();
    const double t = seconds(t0);
    return rxStatus == XFER_STATUS_OK && txStatus == XFER_STATUS_OK ? t : -1;
}

struct Figures {
    double ours = -1;
    double peer = -1;
};

Figures part(const char* title, uint64_t size, LineSettings line, uint32_t seed, bool relay) {
    ScratchDir dir;
    const std::string src = dir / "src", a = dir / "ours", b = dir / "peer";
    std::filesystem::create_directories(src);
    std::filesystem::create_directories(a);
    std::filesystem::create_directories(b);
    writeRandomFile(src + "/data.bin", size, seed);
    Figures f;
    if (relay) {
        {
            LineRelay r(line);
            f.ours = runOurs(r.port(0), r.port(1), src + "/data.bin", a);
        }
        {
            LineRelay r(line);
            f.peer = runLrzsz(r.port(0), r.port(1), src, {"data.bin"}, b, false);
        }
    } else {
        {
            PtyPair p;
            setTerminalSpeed(p.slave(), B4000000);
            setTerminalSpeed(p.master(), B4000000);
            f.ours = runOurs(p.slave(), p.master(), src + "/data.bin", a);
        }
        {
            // lrzsz now and then settles into a mode fifty times slower on a pty; the
            // comparison is with its better runs, so a run far below ours is repeated.
            const int limitMs =
                std::max(10000, f.ours > 0 ? static_cast<int>(f.ours * 10000) : 10000);
            for (int run = 0; run < 3; ++run) {
                PtyPair p;
                setTerminalSpeed(p.slave(), B4000000);
                setTerminalSpeed(p.master(), B4000000);
                const double t =
                    runLrzsz(p.slave(), p.master(), src, {"data.bin"}, b, true, limitMs);
                if (t < 0) {
                    std::printf("(an lrzsz run took over %d ms and was stopped)\n", limitMs);
                }
                if (t > 0 && (f.peer <= 0 || t < f.peer)) {
                    f.peer = t;
                }
                if (f.peer > 0 && (f.ours <= 0 || f.peer < 10 * f.ours)) {
                    break;
                }
            }
        }
    }
    if (f.ours > 0 && !sameFiles(src + "/data.bin", a + "/data.bin")) {
        std::printf("%s: our copy differs!\n", title);
        f.ours = -1;
    }
    if (f.peer > 0 && !sameFiles(src + "/data.bin", b + "/data.bin")) {
        std::printf("%s: lrzsz's copy differs\n", title);
        f.peer = -1;
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    uint64_t bigMib = 64, slowKib = 512, noisyKib = 128;
    uint32_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const uint64_t v = std::strtoull(argv[i + 1], nullptr, 10);
        if (opt == "--big-mib") {
            bigMib = v;
        } else if (opt == "--slow-kib") {
            slowKib = v;
        } else if (opt == "--noisy-kib") {
            noisyKib = v;
        } else if (opt == "--seed") {
            seed = static_cast<uint32_t>(v);
        } else {
            std::fprintf(stderr, "unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    int failures = 0;
    if (bigMib > 0) {
        const uint64_t size = bigMib << 20;
        const Figures f = part("pty", size, {}, seed, false);
        const double ours = f.ours > 0 ? size / f.ours / 1e6 : 0;
        const double peer = f.peer > 0 ? size / f.peer / 1e6 : 0;
        std::printf(
            "pty pair, %llu MiB: ours %.1f MB/s, lrzsz %.1f MB/s, ratio %.2f (target >= 1.0)\n",
            static_cast<unsigned long long>(bigMib), ours, peer, peer > 0 ? ours / peer : 0.0);
        failures += f.ours <= 0;
    }
    const struct {
        const char* title;
        uint64_t kib;
        LineSettings line;
        double target;
    } lines[] = {
        {"115200 baud, clean", slowKib, {kLineRate, 0, 0, seed}, 0.97},
        {"115200 baud, 1 byte in 10,000 corrupted", noisyKib, {kLineRate, 1e-4, 0, seed}, 0.5},
    };
    for (const auto& l : lines) {
        if (l.kib == 0) {
            continue;
        }
        const uint64_t size = l.kib << 10;
        const Figures f = part(l.title, size, l.line, seed, true);
        const double ours = f.ours > 0 ? size / f.ours / kLineRate : 0;
        const double peer = f.peer > 0 ? size / f.peer / kLineRate : 0;
        std::printf(
            "%s, %llu KiB: efficiency ours %.3f, lrzsz %.3f, ratio %.2f (target ours >= %.2f)\n",
            l.title, static_cast<unsigned long long>(l.kib), ours, peer,
            peer > 0 ? ours / peer : 0.0, l.target);
        std::fflush(stdout);
        failures += f.ours <= 0;
    }
    return failures == 0 ? 0 : 1;
}
