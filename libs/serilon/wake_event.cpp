#include "libs/serilon/wake_event.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace serilon {

WakeEvent::~WakeEvent() {
    if (const int fd = fd_.load(); fd >= 0) {
        ::close(fd);
    }
}

bool WakeEvent::open() {
    if (fd_.load() >= 0) {
        return true;
    }
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    fd_.store(fd);
    return true;
}

void WakeEvent::signal() {
    const int fd = fd_.load();
    if (fd < 0) {
        return;
    }
    const std::uint64_t one = 1;
    // A full counter (EAGAIN) is still readable, which is all a wake needs.
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void WakeEvent::drain() {
    std::uint64_t value;
    while (::read(fd_.load(), &value, sizeof value) < 0 && errno == EINTR) {
    }
}

} // namespace serilon
