#include "libs/serilon/tcp_transport.h"

#include "libs/serilon/channel.h"

namespace serilon {

OsStatus TcpTransport::open() {
    channel_.device_.adoptSocket(fd_, name_);
    channel_.setPeer(handle_, peer_);
    if (!channel_.readerWake_.open()) {
        channel_.device_.close();
        releaseToken();
        return OsStatus::make(SERIAL_E_RESOURCES, "out of file descriptors while opening " + name_);
    }
    return OsStatus::success();
}

void TcpTransport::hangUp() {
    std::lock_guard io(channel_.ioMutex_);
    channel_.device_.shutdownSocket();
}

void TcpTransport::releaseToken() {
    std::shared_ptr<void> token;
    {
        std::lock_guard lock(tokenMutex_);
        token.swap(token_);
    }
    token.reset(); // outside the lock: the server's slot may wake its thread 0
}

} // namespace serilon
