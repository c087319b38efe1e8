// tcu as a user runs it: "tcu --baud 9600 get" (no detection) against the scanner
// simulator at 9600 baud with its output paced at the line's character rate. The wall
// time of the whole process, from start to exit, is set against the time the bytes it
// exchanged need on a 9600 baud line (10 bits a byte; target: line time + 0.5 s at
// most), and its CPU time against its wall time (target under 10 % of a core).
//
//   bench_tcu            (needs VORT_BUILD_OUT or the tools beside it)
//
// The control is registered in a scratch registry and everything runs in scratch
// configuration directories; nothing of the user's is touched.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/support/process_timing.h"
#include "support/scanner_sim_harness.h"
#include "tools/scanner-sim/escape.h"

namespace {

constexpr double kBaud = 9600.0;
constexpr double kAllowedOverLineSeconds = 0.5;
constexpr double kAllowedCpuShare = 0.10;

} // namespace

int main() {
    namespace fs = std::filesystem;
    using namespace vort::bench;
    const std::string out = buildOut();
    const std::string data = registerControl(out, "bench_tcu");
    if (data.empty())
        return 2;
    const std::string scratch = scratchDir("bench-tcu-XXXXXX");

    int status = 0;
    {
        vort::test::ScannerSimHarness sim;
        vort::test::ScannerSimStart how;
        how.comPort = 1;
        how.args = {"--baud", "9600", "--slow"};
        if (!sim.start(how)) {
            std::fprintf(stderr, "bench_tcu: %s\n", sim.error().c_str());
            return 2;
        }
        sim.useConfigHome();

        const std::string output = scratch + "/get.out";
        const ChildRun run = runChild({out + "/tcu", "--baud", "9600", "get"}, output);
        if (run.status != 0) {
            std::fprintf(stderr, "bench_tcu: tcu get ended with %d\n", run.status);
            return 1;
        }
        // The bytes on the line both ways, from the simulator's log.
        uint64_t bytes = 0;
        uint64_t frames = 0;
        for (const std::string& line : sim.logLines()) {
            const bool rx = line.rfind("rx ", 0) == 0;
            const bool tx = line.rfind("tx ", 0) == 0;
            if (!rx && !tx)
                continue;
            if (const auto raw = scanner_sim::unescapeBytes(std::string_view(line).substr(3)))
                bytes += raw->size();
            frames += rx ? 1 : 0;
        }
        const double lineTime = lineSeconds(bytes, kBaud);
        const double cpuShare = run.cpu / run.wall;
        std::printf("tcu --baud 9600 get: %llu frames, %llu bytes on the line, line time "
                    "%.3f s\n",
                    static_cast<unsigned long long>(frames), static_cast<unsigned long long>(bytes),
                    lineTime);
        std::printf("  process wall %.3f s (line time + %.3f s, target + %.1f s at most)\n",
                    run.wall, run.wall - lineTime, kAllowedOverLineSeconds);
        std::printf("  process CPU %.3f s, %.1f %% of a core (target < %.0f %%)\n", run.cpu,
                    100.0 * cpuShare, 100.0 * kAllowedCpuShare);
        if (run.wall > lineTime + kAllowedOverLineSeconds || cpuShare >= kAllowedCpuShare)
            status = 1;
    }
    fs::remove_all(scratch);
    fs::remove_all(data);
    return status;
}
