// A scripted scanner for tests that need exact bytes and times on the line: it holds
// the master of a pseudo-terminal (the program opens the slave as its port), collects
// the frames the program sends (SOH ... EOT) with the time each was complete, and
// answers each frame with the next scripted reply, after its delay, in one write.
// Frames beyond the script get no answer. flood() instead sends noise without end.
//
// The peer runs one thread, woken through a pipe; it stops in the destructor.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/pty_pair.h"

namespace tcu::test {

class FramePeer {
public:
    using Clock = std::chrono::steady_clock;
    struct Reply {
        std::string bytes;
        int delayMs = 0; // after the frame was complete
    };
    struct Frame {
        std::string bytes; // SOH and EOT included
        Clock::time_point at;
    };

    FramePeer();
    ~FramePeer();
    FramePeer(const FramePeer&) = delete;
    FramePeer& operator=(const FramePeer&) = delete;

    const std::string& devicePath() const { return pty_.slavePath(); }

    // Replies for the next frames, in order.
    void script(std::vector<Reply> replies);
    // Sends bytes unasked, at once.
    void send(std::string bytes);
    // Noise bytes (never ACK, NAK, CR or LF) as fast as the line takes them, from now
    // until stopped; frames are still collected.
    void flood(bool on);
    std::vector<Frame> frames();

private:
    void run();
    void wake();

    vort::test::PtyPair pty_;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::atomic<bool> flood_{false};
    std::mutex mutex_;
    std::deque<Reply> replies_;
    std::vector<std::string> unasked_;
    std::vector<Frame> frames_;
    std::thread thread_;
};

} // namespace tcu::test
