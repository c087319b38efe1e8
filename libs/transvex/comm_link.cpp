#include "libs/transvex/comm_link.h"

#include "libs/transvex/session_runner.h"
#include "serilon/serilon.h"

#include <algorithm>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace transvex {
namespace {

// The serial core's waits are bounded by this slice, so an abort request is seen
// within it even though the core's wait cannot be woken by us.
constexpr int kSliceMs = 50;

} // namespace

bool CommLink::lost() const {
    if (!lost_ && SerialOpenStatus(commId_) != SERIAL_OK) {
        lost_ = true;
    }
    return lost_;
}

ssize_t CommLink::read(uint8_t* buf, size_t len, int timeoutMs) {
    const uint64_t end = monotonicMs() + static_cast<uint64_t>(std::max(timeoutMs, 0));
    for (;;) {
        uint16_t got = 0;
        const int32_t st =
            SerialRead(commId_, buf, static_cast<uint16_t>(std::min<size_t>(len, 65535)), &got);
        if (st != SERIAL_OK) {
            lost_ = true;
            return -1;
        }
        if (got > 0) {
            return got;
        }
        if (lost()) {
            return -1;
        }
        const uint64_t now = monotonicMs();
        if (now >= end || abort_.load()) {
            return 0;
        }
        const int wait = static_cast<int>(std::min<uint64_t>(end - now, kSliceMs));
        SerialWaitQueue(commId_, SERIAL_DIR_INPUT, 0, wait);
    }
}

std::vector<uint8_t> CommLink::takeWaitingInput() {
    const int32_t waiting = SerialQueueCount(commId_, SERIAL_DIR_INPUT);
    std::vector<uint8_t> taken(static_cast<size_t>(std::max<int32_t>(waiting, 0)));
    size_t done = 0;
    while (done < taken.size()) {
        uint16_t got = 0;
        const size_t chunk = std::min<size_t>(taken.size() - done, 65535);
        if (SerialRead(commId_, taken.data() + done, static_cast<uint16_t>(chunk), &got) !=
                SERIAL_OK ||
            got == 0) {
            break;
        }
        done += got;
    }
    taken.resize(done);
    return taken;
}

bool CommLink::write(std::span<const uint8_t> bytes) {
    size_t done = 0;
    uint64_t lastMove = monotonicMs();
    int32_t lastCount = -1;
    while (done < bytes.size()) {
        uint16_t taken = 0;
        const size_t chunk = std::min<size_t>(bytes.size() - done, 65535);
        const int32_t st =
            SerialWrite(commId_, bytes.data() + done, static_cast<uint16_t>(chunk), &taken);
        if (st != SERIAL_OK) {
            lost_ = true;
            return false;
        }
        if (taken > 0) {
            done += taken;
            lastMove = monotonicMs();
            continue;
        }
        if (lost() || abort_.load()) {
            return false;
        }
        const int32_t count = SerialQueueCount(commId_, SERIAL_DIR_OUTPUT);
        const uint64_t now = monotonicMs();
        if (count != lastCount) {
            lastCount = count;
            lastMove = now;
        } else if (now - lastMove > static_cast<uint64_t>(stallMs_)) {
            return false;
        }
        SerialWaitQueue(commId_, SERIAL_DIR_OUTPUT, count, kSliceMs);
    }
    return true;
}

void CommLink::purgeOutput() {
    SerialFlushQueue(commId_, SERIAL_DIR_OUTPUT);
    const intptr_t fd = SerialOsHandle(commId_);
    if (fd >= 0) {
        tcflush(static_cast<int>(fd), TCOFLUSH);
    }
}

bool CommLink::drain(int timeoutMs) {
    const uint64_t end = monotonicMs() + static_cast<uint64_t>(std::max(timeoutMs, 0));
    uint64_t lastMove = monotonicMs();
    int32_t last = -1;
    // First the library's own output queue, then what the device still holds.
    for (;;) {
        if (lost()) {
            return false;
        }
        const int32_t count = SerialQueueCount(commId_, SERIAL_DIR_OUTPUT);
        if (count <= 0) {
            break;
        }
        const uint64_t now = monotonicMs();
        if (count != last) {
            last = count;
            lastMove = now;
        }
        if (now >= end || now - lastMove > 2000) {
            return false;
        }
        SerialWaitQueue(commId_, SERIAL_DIR_OUTPUT, count, kSliceMs);
    }
    const intptr_t fd = SerialOsHandle(commId_);
    last = -1;
    for (;;) {
        int queued = 0;
        if (fd < 0 || ioctl(static_cast<int>(fd), TIOCOUTQ, &queued) != 0 || queued <= 0) {
            return true;
        }
        const uint64_t now = monotonicMs();
        if (queued != last) {
            last = queued;
            lastMove = now;
        }
        if (now >= end || now - lastMove > 2000) {
            return false;
        }
        // The kernel offers no wake-up for an emptied device buffer: look again shortly.
        poll(nullptr, 0, 5);
    }
}

} // namespace transvex
