#include "libs/transvex/fd_channel.h"

#include "libs/transvex/session_runner.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace transvex {

FdChannel::FdChannel(int readFd, int writeFd)
    : readFd_(readFd), writeFd_(writeFd < 0 ? readFd : writeFd),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    fcntl(readFd_, F_SETFL, fcntl(readFd_, F_GETFL) | O_NONBLOCK);
    fcntl(writeFd_, F_SETFL, fcntl(writeFd_, F_GETFL) | O_NONBLOCK);
}

FdChannel::~FdChannel() {
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void FdChannel::abortHandled() {
    abort_.store(false);
    uint64_t count = 0;
    (void)!::read(wakeFd_, &count, sizeof count);
}

void FdChannel::requestAbort(int limitMs) {
    limitMs_.store(limitMs);
    abort_.store(true);
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

ssize_t FdChannel::read(uint8_t* buf, size_t len, int timeoutMs) {
    if (lost_) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(readFd_, buf, len);
        if (n > 0) {
            return n;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // End of file, or EIO from a pseudo-terminal whose other side closed.
            lost_ = true;
            return -1;
        }
        if (timeoutMs <= 0 || abort_.load()) {
            return 0;
        }
        struct pollfd fds[2] = {{readFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int r = poll(fds, 2, timeoutMs);
        if (r == 0 || fds[1].revents != 0) {
            return 0;
        }
        if (r < 0 && errno != EINTR) {
            lost_ = true;
            return -1;
        }
        timeoutMs = 0; // one more read attempt, then report what came
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            if (!(fds[0].revents & POLLIN)) {
                lost_ = true;
                return -1;
            }
        }
    }
}

bool FdChannel::write(std::span<const uint8_t> bytes) {
    size_t done = 0;
    uint64_t lastMove = monotonicMs();
    while (done < bytes.size()) {
        if (lost_) {
            return false;
        }
        const ssize_t n = ::write(writeFd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            lastMove = monotonicMs();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            lost_ = true;
            return false;
        }
        if (abort_.load() || monotonicMs() - lastMove > static_cast<uint64_t>(stallMs_)) {
            return false;
        }
        struct pollfd fds[2] = {{writeFd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
        poll(fds, 2, 50);
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            lost_ = true;
            return false;
        }
    }
    return true;
}

void FdChannel::purgeOutput() {
    tcflush(writeFd_, TCOFLUSH);
}

bool FdChannel::drain(int timeoutMs) {
    const uint64_t end = monotonicMs() + static_cast<uint64_t>(timeoutMs);
    int last = -1;
    uint64_t lastMove = monotonicMs();
    for (;;) {
        int queued = 0;
        if (ioctl(writeFd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
            return true; // not a terminal, or empty
        }
        const uint64_t now = monotonicMs();
        if (queued != last) {
            last = queued;
            lastMove = now;
        }
        if (now >= end || now - lastMove > 2000) {
            return false;
        }
        // The kernel offers no wake-up for an emptied output queue: look again shortly.
        poll(nullptr, 0, 5);
    }
}

} // namespace transvex
