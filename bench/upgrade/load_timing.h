// What one timed image load gives, and the watch on the simulator's report of it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "support/scanner_sim_harness.h"

namespace upgrade_bench {

using Clock = std::chrono::steady_clock;

struct LoadTiming {
    bool ok = false;           // transfer ended, image reported, byte-identical
    std::string error;         // why not, when !ok
    double seconds = -1;       // start of the transfer to the sender's end
    double reportSeconds = -1; // start of the transfer to the simulator's image report
    std::optional<vort::test::ScannerSimImage> image;
};

// Waits in a thread of its own for the simulator's next image report, so the sender's
// end and the report are timed independently. While it runs, nothing else may use the
// harness (its calls are not thread-safe); finish() joins.
class ImageReportWatch {
public:
    // above: the harness's loadsEnded() from before the load.
    ImageReportWatch(vort::test::ScannerSimHarness& sim, uint64_t above,
                     std::chrono::milliseconds timeout);
    ~ImageReportWatch();
    ImageReportWatch(const ImageReportWatch&) = delete;
    ImageReportWatch& operator=(const ImageReportWatch&) = delete;

    // Joins the thread; the report (nothing on time-out) and when it came.
    std::optional<vort::test::ScannerSimImage> finish(Clock::time_point& at);

private:
    std::optional<vort::test::ScannerSimImage> image_;
    Clock::time_point at_{};
    std::thread thread_;
};

// Seconds from a to b.
inline double secondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Fills in timing's image fields from the report and checks it against the image sent:
// ok only when the report is a success with the expected size and SHA-256.
void judgeReport(LoadTiming& timing, const std::optional<vort::test::ScannerSimImage>& report,
                 uint64_t size, const std::string& sha256);

} // namespace upgrade_bench
