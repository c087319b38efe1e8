// control-host: hosts the serial communication control through the component host
// library.
//
//   control-host PORT LINE
//
// Creates the control (ProgID VORT.VortCtrl.1) through the registry, per-user then
// system, opens port PORT at 9600,N,8,1, sends LINE ended with CR and prints every
// OnComm event with its CommEvent code, and what Input gives on each receive event
// (and what came meanwhile without an event of its own), then all it received.
// Ends once the port has been quiet for half a second after the first answer, or
// after five seconds without one. Exit status 0 when an answer came, 1 when none came
// or the control failed (its message is printed), 2 for a wrong command line.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/component/component_host.h"
#include "platform/component/hosted_control.h"
#include "platform/component/text.h"
#include "vort/comm_events.h"
#include "vort/dispids.h"
#include "vort/guids.h"

using namespace vort;
using namespace vort::component;

namespace {

// The host's side of the control: always in run mode, nothing to redraw or save.
class Site final : public ContainerSite {
public:
    bool userMode() override { return true; }
    void onPropertyChanged(int32_t) override {}
    void setModified() override {}
};

// CR and LF shown as \r and \n, so a line's end is visible.
std::string visible(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

class CommEvents final : public EventSink {
public:
    explicit CommEvents(const DispatchProxy& control) : control_(control) {}

    void onEvent(int32_t dispid, std::span<const Variant>) override {
        if (dispid != kEventOnComm)
            return;
        const int16_t code = control_.getI2(kDispCommEvent);
        if (code != kCommEvReceive) {
            std::printf("OnComm CommEvent=%d\n", code);
            return;
        }
        take("OnComm CommEvent=2 (receive) Input");
    }

    // What arrived while an event was being handled brings no event of its own (the
    // control drops a report that comes during another): read it once the line is quiet.
    void takeLeftOver() {
        if (control_.getI2(kDispInBufferCount) > 0)
            take("no event, InBufferCount > 0: Input");
    }

    const std::string& received() const { return received_; }
    bool answered() const { return !received_.empty(); }
    bool quietFor(int ms) const { return quiet_.isValid() && quiet_.elapsed() >= ms; }

private:
    void take(const char* what) {
        const std::string text = toLatin1(control_.getText(kDispInput));
        std::printf("%s=\"%s\"\n", what, visible(text).c_str());
        std::fflush(stdout);
        received_ += text;
        quiet_.start();
    }

    const DispatchProxy& control_;
    std::string received_;
    QElapsedTimer quiet_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[1]) < 1 || std::atoi(argv[1]) > 255) {
        std::fprintf(stderr, "usage: control-host PORT LINE   (PORT 1..255)\n");
        return 2;
    }
    // The control posts its events to the owner's thread through this event loop.
    QCoreApplication app(argc, argv);
    try {
        ComponentHost host;
        Site site;
        HostedControl control = host.createControl(kProgIdVortCtrl, &site);
        control.initNew();
        const DispatchProxy& proxy = control.proxy();
        CommEvents events(proxy);
        control.advise(events);

        proxy.put(kDispCommPort, Variant::i2(static_cast<int16_t>(std::atoi(argv[1]))));
        proxy.put(kDispSettings, Variant::bstr(u"9600,N,8,1"));
        proxy.put(kDispRThreshold, Variant::i2(1)); // an OnComm for every arrival
        proxy.put(kDispInputLen, Variant::i2(0));   // Input takes all that waits
        proxy.put(kDispPortOpen, Variant::boolean(true));
        proxy.put(kDispOutput, Variant::bstr(fromLatin1(std::string(argv[2]) + "\r")));
        std::printf("sent \"%s\\r\" on port %s\n", argv[2], argv[1]);

        QElapsedTimer waited;
        waited.start();
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (events.answered() && events.quietFor(300))
                events.takeLeftOver();
            if (events.answered() ? events.quietFor(500) : waited.elapsed() >= 5000)
                break;
        }
        proxy.put(kDispPortOpen, Variant::boolean(false));
        std::printf("received \"%s\"\n", visible(events.received()).c_str());
        if (!events.answered()) {
            std::fprintf(stderr, "control-host: no answer on port %s\n", argv[1]);
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "control-host: %s\n", e.what());
        return 1;
    }
}
