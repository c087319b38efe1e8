// The PC's end of the line in process tests: the simulator's terminal opened with plain
// termios, as the configuration program's serial library would open it.
#pragma once

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace scanner_sim_test {

class PcLine {
public:
    explicit PcLine(const std::string& path, speed_t speed = B9600) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + path);
        setSpeed(speed);
    }
    ~PcLine() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    PcLine(const PcLine&) = delete;
    PcLine& operator=(const PcLine&) = delete;

    int fd() const { return fd_; }

    // Raw 8 data bits at speed; stop bits 1 or 2.
    void setSpeed(speed_t speed, int stopBits = 1) {
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, speed);
        if (stopBits == 2)
            t.c_cflag |= CSTOPB;
        else
            t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        tcsetattr(fd_, TCSANOW, &t);
    }

    void write(const std::string& bytes) {
        size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
            ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }
    void sendFrame(const std::string& token) { write("\x01" + token + "\x04"); }

    // Reads until `until` returns true for what came, or timeout; returns what came.
    template <typename Pred> std::string readUntil(Pred until, std::chrono::milliseconds timeout) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!until(got)) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buf[4096];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0)
                got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    // The reply to a frame sent after input the scanner may still be answering or passing
    // on (a transfer's last bytes, junk with accidental frames in it). The scanner
    // answers in order, so whatever comes before the reply belongs to that earlier input
    // and is dropped. Returns `reply` once what came ends with it; everything that came
    // when it did not come within timeout.
    std::string replyAfterLeftovers(const std::string& reply,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto endsWithReply = [&](const std::string& s) {
            return s.size() >= reply.size() &&
                   s.compare(s.size() - reply.size(), reply.size(), reply) == 0;
        };
        const std::string got = readUntil(endsWithReply, timeout);
        return endsWithReply(got) ? reply : got;
    }
    // Everything that arrives within the window (for "nothing comes" checks).
    std::string readFor(std::chrono::milliseconds window) {
        return readUntil([](const std::string&) { return false; }, window);
    }
    // The reply to a write: one ACK or NAK byte.
    std::string readAck(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
        return readUntil([](const std::string& s) { return !s.empty(); }, timeout);
    }
    // The reply to a query: ACK and a line ending CR LF (or a lone NAK).
    std::string readAnswer(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
        return readUntil(
            [](const std::string& s) { return s == "\x15" || s.find("\r\n") != std::string::npos; },
            timeout);
    }

private:
    int fd_ = -1;
};

} // namespace scanner_sim_test
