#include "libs/serilon/transport.h"

#include "libs/serilon/channel.h"

namespace serilon {

bool Transport::carrier() const {
    if (channel_.hungUp_) {
        return false;
    }
    if (!channel_.modemLines_) {
        return true;
    }
    return (channel_.modemStatus() & SERIAL_MS_CD) != 0;
}

void Transport::readerLoop() {
    channel_.readerLoop();
}

void Transport::writerLoop() {
    channel_.writerLoop();
}

std::int32_t Transport::beforeWait(int& extraFd, int& timeoutMs) {
    extraFd = -1;
    timeoutMs = -1;
    return 0;
}

std::int32_t Transport::deviceEnded() {
    channel_.markHungUp();
    return 0;
}

bool Transport::writeFailed(std::uint64_t) {
    channel_.markHungUp();
    return false;
}

} // namespace serilon
