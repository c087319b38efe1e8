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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/scanner_sim_harness.h"
#include "tools/scanner-sim/escape.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr double kBitsPerByte = 10.0;
constexpr double kBaud = 9600.0;
constexpr double kAllowedOverLineSeconds = 0.5;
constexpr double kAllowedCpuShare = 0.10;

struct ChildRun {
    int status = -1;
    double wall = 0.0;
    double cpu = 0.0;
};

// Runs argv to its end with stdout to outPath; wall and CPU time of the child.
ChildRun runChild(const std::vector<std::string>& args, const std::string& outPath) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ChildRun run;
    const auto start = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string scratchDir(const char* name) {
    std::string path = (fs::temp_directory_path() / name).string();
    if (!mkdtemp(path.data()))
        throw std::runtime_error("mkdtemp");
    return path;
}

} // namespace

int main() {
    const char* outEnv = std::getenv("VORT_BUILD_OUT");
    const std::string out =
        outEnv ? outEnv : fs::canonical("/proc/self/exe").parent_path().string();
    setenv("VORT_BUILD_OUT", out.c_str(), 1);
    const std::string data = scratchDir("bench-tcu-data-XXXXXX");
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::string scratch = scratchDir("bench-tcu-XXXXXX");

    int status = 0;
    {
        const ChildRun reg = runChild({out + "/vortreg", out + "/libvort.so"}, scratch + "/reg");
        if (reg.status != 0) {
            std::fprintf(stderr, "bench_tcu: cannot register %s/libvort.so\n", out.c_str());
            return 2;
        }
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
        const double lineTime = static_cast<double>(bytes) * kBitsPerByte / kBaud;
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
