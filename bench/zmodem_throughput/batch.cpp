// A ZMODEM batch at 115200 baud through the paced relay: files of one size sent as the
// control sends a wildcard batch (one XferSendZmodem call per file over a comm id, the
// file-info procedure keeping the session open until the last file, one second
// between the calls), received by our own receiver; and lrzsz's sz sending the same
// files in one run to rz on the same kind of line. Prints both efficiencies against
// the line time of the files' bytes, ours without the one-second gaps, and their ratio.
// Options: --files N (default 10), --kib N (default 64), --gap-ms N (default 1000).
#include "bench/zmodem_throughput/lrzsz_run.h"
#include "tests/libs/transvex/line_relay.h"
#include "tests/libs/transvex/test_files.h"

#include "libs/transvex/fd_channel.h"
#include "libs/transvex/file_record.h"
#include "libs/transvex/session_runner.h"
#include "libs/transvex/zmodem_receiver.h"
#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "transvex/transvex.h"

#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>

using namespace transvex;
using namespace transvex::test;

namespace {

constexpr int kPort = 12;
constexpr int32_t kId = kPort - 1;

std::atomic<bool> gLastFile{false};

// As the control answers: another file follows until the last one.
int32_t batchProc(int32_t, int32_t action, int32_t, XferFileInfo*) {
    if (action == XFER_ACTION_TX_FINISHED || action == XFER_ACTION_TX_SKIPPED) {
        return gLastFile ? XFER_RESULT_GO_ON : XFER_RESULT_MORE_FILES;
    }
    return XFER_RESULT_GO_ON;
}

std::string terminalPath(int fd) {
    char buf[256] = {};
    return ttyname_r(fd, buf, sizeof buf) == 0 ? std::string(buf) : std::string();
}

// Seconds the send calls took together (the gaps left out), or -1 on any failure.
double runOurs(const std::vector<std::string>& files, const std::string& dir, int gapMs) {
    LineRelay relay({kLineRate, 0, 0, 1});
    vort::test::ScopedPortMap map;
    map.map(kPort, terminalPath(relay.port(0)));
    if (SerialOpenPort(kId) != SERIAL_OK) {
        std::fprintf(stderr, "cannot open the comm id on the relay\n");
        return -1;
    }
    int32_t rxStatus = 1;
    std::thread receiver([&] {
        FdChannel line(relay.port(1));
        EngineIo io = channelIo(line, [&dir](int32_t action, int32_t, XferFileInfo* r) {
            if (action == XFER_ACTION_RX_HEADER) {
                setRecordName(*r, dir + "/" + recordName(*r));
            }
            return int32_t{XFER_RESULT_GO_ON};
        });
        ZmodemReceiver rx(ZmodemReceiverConfig{}, std::move(io));
        rxStatus = runSession(rx, line);
    });
    double busy = 0;
    bool ok = true;
    for (size_t i = 0; i < files.size() && ok; ++i) {
        gLastFile = i + 1 == files.size();
        char name[XFER_NAME_SIZE] = {};
        std::snprintf(name, sizeof name, "%s", files[i].c_str());
        int32_t status = 1;
        const auto t0 = std::chrono::steady_clock::now();
        XferSendZmodem(kId, name, &status, batchProc);
        busy += seconds(t0);
        ok = status == XFER_STATUS_OK;
        if (ok && !gLastFile) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    }
    receiver.join();
    SerialClosePort(kId);
    return ok && rxStatus == XFER_STATUS_OK ? busy : -1;
}

} // namespace

int main(int argc, char** argv) {
    size_t count = 10, kib = 64;
    int gapMs = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const unsigned long long v = std::strtoull(argv[i + 1], nullptr, 10);
        if (opt == "--files" && v > 0) {
            count = v;
        } else if (opt == "--kib" && v > 0) {
            kib = v;
        } else if (opt == "--gap-ms") {
            gapMs = static_cast<int>(v);
        } else {
            std::fprintf(stderr, "usage: bench_zmodem_batch [--files N] [--kib N] [--gap-ms N]\n");
            return 2;
        }
    }
    ScratchDir dir;
    const std::string src = dir / "src", ours = dir / "ours", peer = dir / "peer";
    std::filesystem::create_directories(src);
    std::filesystem::create_directories(ours);
    std::filesystem::create_directories(peer);
    std::vector<std::string> names, paths;
    for (size_t i = 0; i < count; ++i) {
        names.push_back("f" + std::to_string(i) + ".bin");
        paths.push_back(src + "/" + names.back());
        writeRandomFile(paths.back(), kib << 10, static_cast<uint32_t>(i + 1));
    }
    const double bytes = static_cast<double>(count * (kib << 10));
    const double lineSeconds = bytes / kLineRate;

    double tOurs = runOurs(paths, ours, gapMs);
    double tPeer = -1;
    {
        LineRelay relay({kLineRate, 0, 0, 1});
        tPeer = runLrzsz(relay.port(0), relay.port(1), src, names, peer, false);
    }
    for (const auto& n : names) {
        if (tOurs > 0 && !sameFiles(src + "/" + n, ours + "/" + n)) {
            std::printf("our copy of %s differs!\n", n.c_str());
            tOurs = -1;
        }
        if (tPeer > 0 && !sameFiles(src + "/" + n, peer + "/" + n)) {
            std::printf("lrzsz's copy of %s differs\n", n.c_str());
            tPeer = -1;
        }
    }
    const double effOurs = tOurs > 0 ? lineSeconds / tOurs : 0;
    const double effPeer = tPeer > 0 ? lineSeconds / tPeer : 0;
    std::printf("ZMODEM batch of %zu files of %zu KiB at 115200 baud (line time %.1f s):\n"
                "  ours %.1f s without the %zu gaps of %d ms: efficiency %.3f\n"
                "  sz to rz %.1f s: efficiency %.3f\n"
                "  ratio %.3f (target >= 1.0)\n",
                count, kib, lineSeconds, tOurs, count - 1, gapMs, effOurs, tPeer, effPeer,
                effPeer > 0 ? effOurs / effPeer : 0.0);
    return tOurs > 0 ? 0 : 1;
}
