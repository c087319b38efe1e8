// One image load through the real serial control, created through the component model
// and driven only by its properties, in the order the configuration program uses.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "bench/upgrade/load_timing.h"
#include "support/scanner_sim_harness.h"

namespace upgrade_bench {

struct ControlLoadRequest {
    int16_t commPort = 1; // mapped to the PC side of the line
    std::u16string settings = u"115200,N,8,1";
    std::string imagePath;
    uint64_t imageSize = 0;
    std::string imageSha256; // 64 lower-case hex digits
    std::chrono::milliseconds tokenTimeout{3000};
    std::chrono::milliseconds loadTimeout{600000};
    std::function<void()> atStart; // called just before FileTransmit True, if set
};

// Opens the port, sends the load token through Output (SOH token EOT) and waits for
// the ACK through Input, then sets InputLen 0, ComType 0, InputMode 1, Protocol 5,
// RThreshold 0, SThreshold 0, FileName and FileTransmit True, and times the transfer
// from FileTransmit True until JobProcessing turns False, and until the simulator
// reports the image. Runs in the owner's thread of a QCoreApplication, pumping its
// events while it waits (the control's OnFileInfo events arrive that way). The control
// must be registered in the registry this process reads. progressEvents counts the
// OnFileInfo events; finished tells whether the "file sent" action came.
struct ControlLoadResult {
    LoadTiming timing;
    int progressEvents = 0;
    bool finished = false;
};
ControlLoadResult runControlLoad(const ControlLoadRequest& request,
                                 vort::test::ScannerSimHarness& sim);

} // namespace upgrade_bench
