// The firmware load at 115200 baud, end to end, against lrzsz on the same line:
//
//   the control (CVortCtrl, created through the component model and driven by its
//   properties as the configuration program drives it) sends the load token through
//   Output, waits for the ACK, and sends a 1 MiB image by ZMODEM through a relay that
//   paces the line at 11,520 bytes/s to the scanner simulator, which receives it and
//   reports its SHA-256;
//   then sz sends the same image through the same relay to the same simulator.
//
// Printed: each transfer's time, the line time of the file (its size at 11,520
// bytes/s) and their ratio (target for the control at most 1.05, reported, not
// enforced), and the control's time against sz's. Exit status 1 when the control's
// load fails or arrives changed.
//
//   upgrade_bench [--kib N] [--no-peer]     (default 1024 KiB, with the peer)
//
// The tools come from VORT_BUILD_OUT, else the directory of this program. The control
// is registered in a scratch registry and the port map is a scratch one; nothing of
// the user's is touched.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "bench/upgrade/control_load.h"
#include "bench/upgrade/firmware_image.h"
#include "bench/upgrade/peer_load.h"
#include "libs/transvex/line_relay.h"
#include "libs/transvex/test_files.h"
#include "support/pty_pair.h"
#include "support/scanner_sim_harness.h"
#include "tools/scanner-sim/sha256.h"

namespace fs = std::filesystem;
using namespace upgrade_bench;

namespace {

// 115200 baud at ten bits a character.
constexpr double kLineBytesPerSecond = 11520.0;
constexpr double kTargetRatio = 1.05;
constexpr int16_t kCommPort = 1;

std::string buildOut() {
    if (const char* out = std::getenv("VORT_BUILD_OUT"); out != nullptr && *out != '\0') {
        return out;
    }
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path().string();
}

// Registers libvort.so with the real vortreg in a scratch registry (XDG_DATA_HOME).
bool registerControl(const std::string& out, const std::string& dataHome) {
    fs::create_directories(dataHome);
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    const std::string cmd = "'" + out + "/vortreg' '" + out + "/libvort.so' > /dev/null";
    return std::system(cmd.c_str()) == 0;
}

std::string terminalPath(int fd) {
    const char* name = ttyname(fd);
    return name != nullptr ? name : "";
}

void printLoad(const char* who, const LoadTiming& t, double lineSeconds, const char* target) {
    if (!t.ok) {
        std::printf("%-8s failed: %s\n", who, t.error.c_str());
        return;
    }
    std::printf("%-8s transfer %7.2f s (image report at %7.2f s), ratio to line time %.3f%s\n", who,
                t.seconds, t.reportSeconds, t.seconds / lineSeconds, target);
}

// Bytes the relay carried in each direction since a snapshot.
struct LineUse {
    uint64_t toScanner = 0;
    uint64_t toPc = 0;
};

// The line's share of a transfer: bytes sent over the file's size is what the protocol
// adds (escapes, headers, CRCs); their line time over the transfer time is how busy
// the sender kept the line. Their product is the ratio to the file's line time.
void printLineUse(const LoadTiming& t, const LineUse& use, size_t fileSize) {
    if (!t.ok) {
        return;
    }
    std::printf("         on the line: %llu bytes to the scanner (%.4f of the file), %llu back; "
                "line busy %.1f %% of the transfer\n",
                static_cast<unsigned long long>(use.toScanner),
                static_cast<double>(use.toScanner) / static_cast<double>(fileSize),
                static_cast<unsigned long long>(use.toPc),
                100.0 * static_cast<double>(use.toScanner) / kLineBytesPerSecond / t.seconds);
}

} // namespace

int main(int argc, char** argv) {
    size_t kib = 1024;
    bool peer = true;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--kib" && i + 1 < argc) {
            kib = std::strtoull(argv[++i], nullptr, 10);
        } else if (opt == "--no-peer") {
            peer = false;
        } else {
            std::fprintf(stderr, "usage: upgrade_bench [--kib N] [--no-peer]\n");
            return 2;
        }
    }
    if (kib == 0) {
        std::fprintf(stderr, "upgrade_bench: --kib needs a size above 0\n");
        return 2;
    }

    const std::string out = buildOut();
    setenv("VORT_BUILD_OUT", out.c_str(), 1);
    transvex::test::ScratchDir scratch;
    if (!registerControl(out, scratch / "data")) {
        std::fprintf(stderr, "upgrade_bench: cannot register %s/libvort.so with vortreg\n",
                     out.c_str());
        return 1;
    }
    QCoreApplication app(argc, argv);

    const std::vector<uint8_t> image = makeImage(kib * 1024, 1);
    const std::string imagePath = scratch / "tcu_app1.bin";
    if (!writeImageFile(imagePath, image)) {
        std::fprintf(stderr, "upgrade_bench: cannot write %s\n", imagePath.c_str());
        return 1;
    }
    const std::string sha = scanner_sim::sha256Hex(image.data(), image.size());
    const double lineSeconds = static_cast<double>(image.size()) / kLineBytesPerSecond;

    transvex::test::LineRelay relay({kLineBytesPerSecond, 0, 0, 1});
    const std::string pcPath = terminalPath(relay.port(0));
    const std::string scannerPath = terminalPath(relay.port(1));
    vort::test::ScopedPortMap portMap;
    portMap.map(kCommPort, pcPath);

    vort::test::ScannerSimHarness sim;
    if (!sim.start({.args = {"--device", scannerPath, "--baud", "115200"}})) {
        std::fprintf(stderr, "upgrade_bench: the scanner simulator did not start: %s\n",
                     sim.error().c_str());
        return 1;
    }

    std::printf("firmware load of a %zu-byte image at 115200 baud (%.0f bytes/s): line time "
                "%.2f s\n",
                image.size(), kLineBytesPerSecond, lineSeconds);
    std::fflush(stdout);

    ControlLoadRequest c;
    c.commPort = kCommPort;
    c.imagePath = imagePath;
    c.imageSize = image.size();
    c.imageSha256 = sha;
    LineUse start;
    auto snapshot = [&relay, &start] { start = {relay.carried(0), relay.carried(1)}; };
    auto since = [&relay, &start] {
        return LineUse{relay.carried(0) - start.toScanner, relay.carried(1) - start.toPc};
    };
    c.atStart = snapshot;
    const ControlLoadResult ours = runControlLoad(c, sim);
    const LineUse oursUse = since();
    char target[48];
    std::snprintf(target, sizeof target, " (target at most %.2f)", kTargetRatio);
    printLoad("control", ours.timing, lineSeconds, target);
    printLineUse(ours.timing, oursUse, image.size());
    if (ours.timing.ok) {
        std::printf("         %d OnFileInfo events, the file reported sent\n", ours.progressEvents);
    }
    std::fflush(stdout);

    if (peer) {
        PeerLoadRequest p;
        p.fd = relay.port(0);
        p.imagePath = imagePath;
        p.imageSize = image.size();
        p.imageSha256 = sha;
        p.errPath = scratch / "sz.err";
        p.atStart = snapshot;
        const LoadTiming sz = runPeerLoad(p, sim);
        printLoad("lrzsz sz", sz, lineSeconds, "");
        printLineUse(sz, since(), image.size());
        if (ours.timing.ok && sz.ok) {
            std::printf("control against sz: %.3f (below 1 is faster)\n",
                        ours.timing.seconds / sz.seconds);
        }
    }
    return ours.timing.ok ? 0 : 1;
}
