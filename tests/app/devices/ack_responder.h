// The scanner's side of a fake device node, for tests and benchmarks: acknowledges
// every SOH ... EOT frame written to the device (the ping among them) on its own thread.
#pragma once

#include <atomic>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace tcu::test {

// Acknowledges every SOH ... EOT frame written to the device (the ping among them).
class AckResponder {
public:
    explicit AckResponder(int master) : master_(master) {
        if (::pipe(stop_) != 0)
            throw std::runtime_error("pipe");
        thread_ = std::thread([this] { run(); });
    }
    ~AckResponder() {
        const char quit = 'q';
        (void)!::write(stop_[1], &quit, 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    int frames() const { return frames_.load(); }

private:
    void run() {
        for (;;) {
            pollfd p[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 || (p[1].revents & POLLIN) || (p[0].revents & POLLNVAL))
                return;
            char buf[256];
            const ssize_t n = (p[0].revents & POLLIN) ? ::read(master_, buf, sizeof buf) : 0;
            if (n <= 0) {
                // Nobody has the device open (a pseudo-terminal's master then reports a
                // hang-up at every poll): look again shortly, or stop.
                pollfd s{stop_[0], POLLIN, 0};
                if (::poll(&s, 1, 5) > 0)
                    return;
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\x04') {
                    ++frames_;
                    const char ack = '\x06';
                    (void)!::write(master_, &ack, 1);
                }
            }
        }
    }

    int master_;
    int stop_[2] = {-1, -1};
    std::atomic<int> frames_{0};
    std::thread thread_;
};

} // namespace tcu::test
