// A serial line between two pseudo-terminal pairs: a thread copies what each side's
// master delivers to the other side's master, at an optional line rate and with
// optional damage (bit flips and lost bytes). The engines run on the two slaves, as
// on two serial ports joined by a cable. Used by tests and benchmarks.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace transvex::test {

struct LineSettings {
    double bytesPerSecond = 0; // 0: as fast as the ptys go
    double flip = 0;           // chance per byte of one flipped bit
    double drop = 0;           // chance per byte of losing it
    uint32_t seed = 1;
};

class LineRelay {
public:
    explicit LineRelay(LineSettings line) : line_(line), rng_(line.seed) {
        for (Side& s : side_) {
            s.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            grantpt(s.master);
            unlockpt(s.master);
            s.slave = open(ptsname(s.master), O_RDWR | O_NOCTTY | O_CLOEXEC);
            struct termios t {};
            tcgetattr(s.slave, &t);
            cfmakeraw(&t);
            tcsetattr(s.slave, TCSANOW, &t);
            fcntl(s.master, F_SETFL, fcntl(s.master, F_GETFL) | O_NONBLOCK);
        }
        wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        thread_ = std::thread([this] { run(); });
    }
    ~LineRelay() {
        stop_ = true;
        const uint64_t one = 1;
        (void)!write(wake_, &one, sizeof one);
        thread_.join();
        close(wake_);
        for (Side& s : side_) {
            close(s.slave);
            close(s.master);
        }
    }
    LineRelay(const LineRelay&) = delete;
    LineRelay& operator=(const LineRelay&) = delete;

    // The "serial ports": slave descriptors of side 0 and side 1.
    int port(int side) const { return side_[side].slave; }
    uint64_t flipped() const { return flipped_; }
    uint64_t dropped() const { return dropped_; }
    uint64_t carried(int from) const { return side_[from].carried; }

private:
    // Bytes the paced line holds between the two masters (about 5.6 ms at 115200).
    static constexpr size_t kPacedBuffer = 64;

    struct Side {
        int master = -1;
        int slave = -1;
        std::deque<uint8_t> line; // read from this master, not yet written to the other
        double credit = 0;        // bytes the line rate allows now
        bool backlog = false;     // the last read filled the line: more waits at the master
        std::atomic<uint64_t> carried{0};
    };

    void damage(Side& s, const uint8_t* p, ssize_t n) {
        for (ssize_t i = 0; i < n; ++i) {
            uint8_t b = p[i];
            if (line_.drop > 0 && uni_(rng_) < line_.drop) {
                ++dropped_;
                continue;
            }
            if (line_.flip > 0 && uni_(rng_) < line_.flip) {
                b ^= static_cast<uint8_t>(1u << (rng_() % 8));
                ++flipped_;
            }
            s.line.push_back(b);
        }
    }

    using Clock = std::chrono::steady_clock;

    // What the line rate allows since last, for both directions.
    void addCredit(Clock::time_point& last) {
        const auto now = Clock::now();
        const double dt = std::chrono::duration<double>(now - last).count();
        last = now;
        for (Side& s : side_) {
            // The line never idles while bytes wait (here or at the master), however
            // late this thread wakes; an idle line saves up no burst beyond a few bytes.
            const double cap = s.line.empty() && !s.backlog ? 4.0 : line_.bytesPerSecond * 0.1;
            s.credit = std::min(s.credit + dt * line_.bytesPerSecond, cap);
        }
    }

    void run() {
        auto last = Clock::now();
        uint8_t buf[4096];
        const bool paced = line_.bytesPerSecond > 0;
        while (!stop_) {
            if (paced) {
                addCredit(last);
            }
            struct pollfd fds[3];
            int timeoutMs = 50;
            for (int i = 0; i < 2; ++i) {
                // Take from a master only what the line can carry soon: the rest
                // waits in the sender's own buffers, as behind a real UART.
                const bool room = side_[i].line.size() < (paced ? kPacedBuffer : 65536u);
                fds[i] = {side_[i].master, static_cast<short>(room ? POLLIN : 0), 0};
                const Side& from = side_[1 - i];
                if (from.line.empty()) {
                    continue;
                }
                if (!paced || from.credit >= 1) {
                    fds[i].events |= POLLOUT;
                } else {
                    // Asleep until the line may carry the next byte: the other master
                    // is always writable, so asking for POLLOUT now would spin.
                    const double wait = (1 - from.credit) / line_.bytesPerSecond;
                    timeoutMs = std::min(timeoutMs, std::max(1, static_cast<int>(wait * 1000 + 1)));
                }
            }
            fds[2] = {wake_, POLLIN, 0};
            poll(fds, 3, timeoutMs);
            for (int i = 0; i < 2; ++i) {
                Side& s = side_[i];
                if (fds[i].revents & POLLIN) {
                    const size_t want =
                        paced ? kPacedBuffer - std::min(kPacedBuffer, s.line.size()) : sizeof buf;
                    const ssize_t n = read(s.master, buf, want);
                    if (n > 0) {
                        damage(s, buf, n);
                    }
                    s.backlog = n > 0 && static_cast<size_t>(n) == want;
                } else if (fds[i].events & POLLIN) {
                    s.backlog = false; // the master had nothing
                }
            }
            if (paced) {
                addCredit(last); // for the time poll slept
            }
            for (int i = 0; i < 2; ++i) {
                Side& s = side_[i];
                Side& to = side_[1 - i];
                while (!s.line.empty() && (!paced || s.credit >= 1)) {
                    size_t n = std::min<size_t>(s.line.size(), sizeof buf);
                    if (paced) {
                        n = std::min<size_t>(n, static_cast<size_t>(s.credit));
                    }
                    std::copy(s.line.begin(), s.line.begin() + static_cast<long>(n), buf);
                    const ssize_t w = write(to.master, buf, n);
                    if (w <= 0) {
                        break;
                    }
                    s.line.erase(s.line.begin(), s.line.begin() + w);
                    s.carried += static_cast<uint64_t>(w);
                    if (paced) {
                        s.credit -= static_cast<double>(w);
                    }
                }
            }
        }
    }

    LineSettings line_;
    Side side_[2];
    int wake_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mt19937 rng_;
    std::uniform_real_distribution<double> uni_{0.0, 1.0};
    std::atomic<uint64_t> flipped_{0};
    std::atomic<uint64_t> dropped_{0};
};

} // namespace transvex::test
