// One image load by lrzsz's sz, the peer the control's sender is measured against: the
// load token is exchanged on the line, then sz sends the image to the scanner.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <termios.h>

#include "bench/upgrade/load_timing.h"
#include "support/scanner_sim_harness.h"

namespace upgrade_bench {

struct PeerLoadRequest {
    int fd = -1;            // the PC side's terminal (blocking), kept open by the caller
    speed_t speed = B38400; // the terminal speed sz sees (it sizes its sending by it)
    std::string imagePath;
    uint64_t imageSize = 0;
    std::string imageSha256;
    std::string errPath = "/dev/null"; // sz's stderr
    std::chrono::milliseconds tokenTimeout{3000};
    std::chrono::milliseconds loadTimeout{600000};
    std::function<void()> atStart; // called just before sz starts, if set
};

// Times the transfer from sz's start to its exit, and to the simulator's image report.
// sz exiting with an error, or still running after loadTimeout (it is then killed),
// is a failure.
LoadTiming runPeerLoad(const PeerLoadRequest& request, vort::test::ScannerSimHarness& sim);

} // namespace upgrade_bench
