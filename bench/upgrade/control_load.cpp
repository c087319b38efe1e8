#include "bench/upgrade/control_load.h"

#include <QCoreApplication>
#include <thread>

#include "bench/upgrade/load_token.h"
#include "platform/component/component_host.h"
#include "platform/component/error.h"
#include "platform/component/hosted_control.h"
#include "support/test_site.h"
#include "vort/dispids.h"
#include "vort/guids.h"

namespace upgrade_bench {
namespace {

using vort::component::Variant;

// OnFileInfo action of a file completely sent.
constexpr int16_t kActionFileSent = 7;

class FileInfoCounter final : public vort::component::EventSink {
public:
    void onEvent(int32_t dispid, std::span<const Variant> args) override {
        if (dispid != vort::kEventOnFileInfo) {
            return;
        }
        ++events;
        int16_t action = -1;
        if (!args.empty() && args[0].toI2(action) && action == kActionFileSent) {
            finished = true;
        }
    }
    int events = 0;
    bool finished = false;
};

// Runs the control's pending notifications, then yields a moment: the waits below
// poll a property, as the program's timers do, without spinning a core.
void pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string latin1(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
    }
    return out;
}

std::u16string widen(std::string_view bytes) {
    std::u16string out;
    for (const char c : bytes) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return out;
}

// Sends the load token through Output and reads Input until the scanner answers.
TokenAnswer exchangeThroughControl(const vort::component::DispatchProxy& p,
                                   std::chrono::milliseconds timeout) {
    p.put(vort::kDispOutput, Variant::bstr(widen(kLoadTokenFrame)));
    std::string received;
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        std::u16string text;
        p.get(vort::kDispInput).toText(text);
        received += latin1(text);
        const TokenAnswer a = firstAnswer(received);
        if (a != TokenAnswer::None) {
            return a;
        }
        pump();
    }
    return TokenAnswer::None;
}

} // namespace

ControlLoadResult runControlLoad(const ControlLoadRequest& request,
                                 vort::test::ScannerSimHarness& sim) {
    ControlLoadResult result;
    LoadTiming& timing = result.timing;
    vort::test::TestSite site;
    try {
        vort::component::ComponentHost host;
        vort::component::HostedControl ctl = host.createControl(vort::kClsidVortCtrl, &site);
        ctl.initNew();
        FileInfoCounter counter;
        const uint32_t cookie = ctl.advise(counter);
        const vort::component::DispatchProxy& p = ctl.proxy();

        p.put(vort::kDispCommPort, Variant::i2(request.commPort));
        p.put(vort::kDispSettings, Variant::bstr(request.settings));
        p.put(vort::kDispInputLen, Variant::i2(0));
        p.put(vort::kDispPortOpen, Variant::boolean(true));

        const uint64_t before = sim.loadsEnded();
        const TokenAnswer answer = exchangeThroughControl(p, request.tokenTimeout);
        if (answer != TokenAnswer::Ack) {
            timing.error = std::string("load token: ") + tokenAnswerName(answer);
            p.put(vort::kDispPortOpen, Variant::boolean(false));
            ctl.unadvise(cookie);
            return result;
        }

        std::u16string path(request.imagePath.begin(), request.imagePath.end());
        p.put(vort::kDispInputLen, Variant::i2(0));
        p.put(vort::kDispComType, Variant::i2(0));
        p.put(vort::kDispInputMode, Variant::i2(1));
        p.put(vort::kDispProtocol, Variant::i2(5));
        p.put(vort::kDispRThreshold, Variant::i2(0));
        p.put(vort::kDispSThreshold, Variant::i2(0));
        p.put(vort::kDispFileName, Variant::bstr(path));

        Clock::time_point reportAt;
        std::optional<vort::test::ScannerSimImage> report;
        {
            ImageReportWatch watch(sim, before, request.loadTimeout);
            if (request.atStart) {
                request.atStart();
            }
            const auto t0 = Clock::now();
            p.put(vort::kDispFileTransmit, Variant::boolean(true));
            const auto end = t0 + request.loadTimeout;
            while (p.getBool(vort::kDispJobProcessing) && Clock::now() < end) {
                pump();
            }
            const auto t1 = Clock::now();
            if (p.getBool(vort::kDispJobProcessing)) {
                timing.error = "the job did not end in time";
                p.put(vort::kDispFileTransmit, Variant::boolean(false));
            } else {
                timing.seconds = secondsBetween(t0, t1);
            }
            report = watch.finish(reportAt);
            if (report) {
                timing.reportSeconds = secondsBetween(t0, reportAt);
            }
        }
        // The notifications of the last moments of the job.
        for (int i = 0; i < 20; ++i) {
            pump();
        }
        result.progressEvents = counter.events;
        result.finished = counter.finished;
        if (!counter.finished && timing.error.empty()) {
            timing.error = "the control never reported the file as sent";
        }
        judgeReport(timing, report, request.imageSize, request.imageSha256);

        p.put(vort::kDispPortOpen, Variant::boolean(false));
        ctl.unadvise(cookie);
    } catch (const std::exception& e) {
        timing.ok = false;
        timing.error = e.what();
    }
    return result;
}

} // namespace upgrade_bench
