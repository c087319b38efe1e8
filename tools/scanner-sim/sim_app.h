#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/scanner-sim/control_commands.h"
#include "tools/scanner-sim/image_receiver.h"
#include "tools/scanner-sim/line_port.h"
#include "tools/scanner-sim/scanner_engine.h"
#include "tools/scanner-sim/sim_options.h"

namespace scanner_sim {

// The simulator program: the line port, the engine, the control socket, the log and the
// image loads, driven by one poll loop in the calling thread. Signals SIGTERM, SIGINT
// and SIGHUP end the loop cleanly; they must be blocked in every thread (run() blocks
// them in the calling thread before any other thread starts).
class SimApp {
public:
    explicit SimApp(SimOptions options);
    ~SimApp();
    SimApp(const SimApp&) = delete;
    SimApp& operator=(const SimApp&) = delete;

    // Sets everything up, prints the line's path on stdout, runs until told to stop.
    // Returns the process exit code; start-up failures are reported on stderr.
    int run();

private:
    struct Outgoing {
        std::string bytes;
        uint64_t charNs; // character time at the rate the bytes go out at
    };
    struct Client {
        int fd = -1;
        std::string in;
        std::string out;
        bool closing = false;
        bool waiting = false;   // a "wait-image" is pending; later lines wait for it
        uint64_t waitAbove = 0; // answer once more loads than this have ended
        TimePoint waitUntil{};
    };
    struct Load {
        LoadTarget target;
        std::string previous;
        PtyPair relay;
        std::string toReceiver; // PC -> receiver, not yet written
        std::string toPc;       // receiver -> PC, not yet written
        TimePoint lastTraffic;
        std::string tail; // last bytes from the receiver, to find a split header
        bool closingSent = false;
        bool rateNoted = false;
        uint64_t bytesIn = 0;
        uint64_t bytesOut = 0;
    };

    bool setUp(std::string& error);
    void tearDown();
    void loop();

    // Engine hooks.
    void send(std::string_view bytes, const LineSettings& line);
    void logLine(std::string_view kind, std::string_view text);
    std::string loadCheck(LoadTarget target);
    void startLoad(LoadTarget target);
    void endLoad(bool aborted);

    void readLine(TimePoint now);
    void writeLine(TimePoint now);
    std::optional<TimePoint> nextWriteTime(TimePoint now) const;
    void relay(short linePollEvents, short relayPollEvents, TimePoint now);
    bool setUpControl(std::string& error);
    void acceptClient();
    void serviceClient(Client& client, short events);
    void resolveWaits(TimePoint now);

    SimOptions options_;
    std::unique_ptr<LinePort> port_;
    std::unique_ptr<ScannerEngine> engine_;
    std::unique_ptr<ImageReceiver> receiver_;
    std::unique_ptr<Load> load_;
    std::deque<Outgoing> out_;
    size_t outBytes_ = 0;
    TimePoint nextByteAt_{};
    TimePoint lineQuietUntil_{};
    std::deque<std::string> frames_;
    std::optional<ImageRecord> lastImage_;
    uint64_t loadsEnded_ = 0;
    std::FILE* log_ = nullptr;
    int signalFd_ = -1;
    int listenFd_ = -1;
    std::vector<Client> clients_;
    std::string imageDir_;
    std::string privateHome_;
    std::string portMapFile_;
    std::string portMapValue_;
    bool linkMade_ = false;
    bool controlMade_ = false;
    bool quit_ = false;
    uint32_t lastPeerBaud_ = 0;
};

} // namespace scanner_sim
