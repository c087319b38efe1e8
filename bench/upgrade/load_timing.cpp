#include "bench/upgrade/load_timing.h"

namespace upgrade_bench {

ImageReportWatch::ImageReportWatch(vort::test::ScannerSimHarness& sim, uint64_t above,
                                   std::chrono::milliseconds timeout) {
    thread_ = std::thread([this, &sim, above, timeout] {
        image_ = sim.waitForImage(above, timeout);
        at_ = Clock::now();
    });
}

ImageReportWatch::~ImageReportWatch() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::optional<vort::test::ScannerSimImage> ImageReportWatch::finish(Clock::time_point& at) {
    if (thread_.joinable()) {
        thread_.join();
    }
    at = at_;
    return image_;
}

void judgeReport(LoadTiming& timing, const std::optional<vort::test::ScannerSimImage>& report,
                 uint64_t size, const std::string& sha256) {
    timing.image = report;
    if (!report) {
        timing.ok = false;
        timing.error = "the simulator reported no image";
    } else if (!report->ok) {
        timing.ok = false;
        timing.error = "the simulator's load failed: " + report->error;
    } else if (report->size != size || report->sha256 != sha256) {
        timing.ok = false;
        timing.error = "the image arrived changed (" + std::to_string(report->size) +
                       " bytes, SHA-256 " + report->sha256 + ")";
    } else if (timing.error.empty()) {
        timing.ok = true;
    }
}

} // namespace upgrade_bench
