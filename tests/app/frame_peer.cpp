#include "frame_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tcu::test {

namespace {

struct Pending {
    std::string bytes;
    FramePeer::Clock::time_point due;
};

} // namespace

FramePeer::FramePeer() {
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the peer's wake pipe");
    thread_ = std::thread([this] { run(); });
}

FramePeer::~FramePeer() {
    stop_ = true;
    wake();
    thread_.join();
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

void FramePeer::wake() {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &c, 1);
}

void FramePeer::script(std::vector<Reply> replies) {
    std::lock_guard lock(mutex_);
    for (Reply& r : replies)
        replies_.push_back(std::move(r));
}

void FramePeer::send(std::string bytes) {
    {
        std::lock_guard lock(mutex_);
        unasked_.push_back(std::move(bytes));
    }
    wake();
}

void FramePeer::flood(bool on) {
    flood_ = on;
    wake();
}

std::vector<FramePeer::Frame> FramePeer::frames() {
    std::lock_guard lock(mutex_);
    return frames_;
}

void FramePeer::run() {
    std::string current;
    bool inFrame = false;
    std::deque<Pending> pending;
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(0x80 + i % 0x80);

    while (!stop_) {
        int timeout = -1;
        const auto now = Clock::now();
        if (!pending.empty()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(pending.front().due - now)
                    .count();
            timeout = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd fds[2] = {{pty_.master(), static_cast<short>(POLLIN | (flood_ ? POLLOUT : 0)), 0},
                         {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0)
            continue;
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            char buf[4096];
            const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buf[i];
                if (c == '\x01') {
                    current.assign(1, c);
                    inFrame = true;
                } else if (inFrame) {
                    current.push_back(c);
                    if (c == '\x04') {
                        inFrame = false;
                        std::lock_guard lock(mutex_);
                        frames_.push_back({current, Clock::now()});
                        if (!replies_.empty()) {
                            Reply r = std::move(replies_.front());
                            replies_.pop_front();
                            pending.push_back(
                                {std::move(r.bytes),
                                 Clock::now() + std::chrono::milliseconds(r.delayMs)});
                        }
                    }
                }
            }
        }
        if (flood_ && (fds[0].revents & POLLOUT)) [[maybe_unused]]
            ssize_t n = ::write(pty_.master(), noise.data(), noise.size());
        {
            std::lock_guard lock(mutex_);
            for (std::string& bytes : unasked_)
                pending.push_front({std::move(bytes), Clock::now()});
            unasked_.clear();
        }
        while (!pending.empty() && pending.front().due <= Clock::now()) {
            pty_.writeAll(pending.front().bytes, 2000);
            pending.pop_front();
        }
        // A slave nobody holds open reports a hang-up on every poll; do not spin on it.
        if (fds[0].revents & POLLHUP && pending.empty() && !flood_) {
            pollfd w = {wakePipe_[0], POLLIN, 0};
            ::poll(&w, 1, 5);
        }
    }
}

} // namespace tcu::test
