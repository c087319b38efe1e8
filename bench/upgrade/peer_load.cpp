#include "bench/upgrade/peer_load.h"

#include <filesystem>

#include "bench/upgrade/load_token.h"
#include "libs/transvex/pty_peer.h"

namespace upgrade_bench {

LoadTiming runPeerLoad(const PeerLoadRequest& request, vort::test::ScannerSimHarness& sim) {
    LoadTiming timing;
    termios t{};
    if (tcgetattr(request.fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetspeed(&t, request.speed);
        tcsetattr(request.fd, TCSANOW, &t);
    }
    tcflush(request.fd, TCIOFLUSH);

    const uint64_t before = sim.loadsEnded();
    const TokenAnswer answer =
        exchangeLoadToken(request.fd, static_cast<int>(request.tokenTimeout.count()), timing.error);
    if (answer != TokenAnswer::Ack) {
        if (timing.error.empty()) {
            timing.error = std::string("load token: ") + tokenAnswerName(answer);
        }
        return timing;
    }

    const std::filesystem::path image(request.imagePath);
    Clock::time_point reportAt;
    std::optional<vort::test::ScannerSimImage> report;
    {
        ImageReportWatch watch(sim, before, request.loadTimeout);
        if (request.atStart) {
            request.atStart();
        }
        const auto t0 = Clock::now();
        transvex::test::Peer sz({"sz", "-q", image.filename().string()}, request.fd,
                                image.parent_path().string(), request.errPath);
        const int exit = sz.wait(static_cast<int>(request.loadTimeout.count()));
        const auto t1 = Clock::now();
        if (exit == 0) {
            timing.seconds = secondsBetween(t0, t1);
        } else if (exit < 0) {
            timing.error = "sz did not end in time";
        } else if (exit == 127) {
            timing.error = "sz could not be started (is lrzsz installed?)";
        } else {
            timing.error = "sz failed with exit code " + std::to_string(exit);
        }
        report = watch.finish(reportAt);
        if (report) {
            timing.reportSeconds = secondsBetween(t0, reportAt);
        }
    }
    judgeReport(timing, report, request.imageSize, request.imageSha256);
    return timing;
}

} // namespace upgrade_bench
