// What the benchmarks that time whole runs share: wall and CPU time of this process or of
// a child run to its end, the time bytes need on a serial line, scratch folders, and the
// build's output folder with the control registered in a scratch registry.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace vort::bench {

using Clock = std::chrono::steady_clock;

// Seconds in d.
double seconds(Clock::duration d);
// User plus system CPU seconds in usage.
double cpuSeconds(const rusage& usage);
// CPU seconds this process has used so far, all its threads together.
double processCpuSeconds();
// Seconds bytes take on a line at baud, 10 bits a byte (start, 8 data, stop).
double lineSeconds(uint64_t bytes, double baud);

// A child process run to its end: exit status (-1 when it could not start or did not
// exit normally), wall seconds from start to exit, and the CPU seconds it used.
struct ChildRun {
    int status = -1;
    double wall = 0.0;
    double cpu = 0.0;
};
// Runs args (args[0] a path) with standard input /dev/null and standard output to
// outPath; waits for its end.
ChildRun runChild(const std::vector<std::string>& args, const std::string& outPath);

// A new folder under the system's temporary folder; pattern ends in "XXXXXX". Throws
// std::runtime_error when none can be made.
std::string scratchDir(const char* pattern);

// The folder the benchmark's tools are in: $VORT_BUILD_OUT, else this program's own.
// Sets VORT_BUILD_OUT to it, so the test harnesses find the same tools.
std::string buildOut();

// Points XDG_DATA_HOME at a new scratch folder and registers out/libvort.so there with
// out/vortreg. The folder, or empty (with a message on stderr naming who) when the
// registration failed. The caller removes the folder.
std::string registerControl(const std::string& out, const char* who);

} // namespace vort::bench
