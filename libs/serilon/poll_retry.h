// poll() that goes on waiting when a signal interrupts it, for the library's threads.
#pragma once

#include <cerrno>
#include <poll.h>

namespace serilon {

// As poll(); EINTR restarts the wait with the whole timeout (the threads' waits are
// woken by their own eventfds, so a longer wait after a signal changes nothing).
inline int pollRetry(pollfd* fds, nfds_t count, int timeoutMs) {
    int r;
    do {
        r = ::poll(fds, count, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r;
}

} // namespace serilon
