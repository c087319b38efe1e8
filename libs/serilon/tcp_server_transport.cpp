#include "libs/serilon/tcp_server_transport.h"

#include "libs/serilon/channel.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serilon {

OsStatus TcpServerTransport::open() {
    slots_ = std::make_shared<ServerSlots>(limit_);
    if (!channel_.readerWake_.open()) {
        ::close(listenFd_);
        listenFd_ = -1;
        return OsStatus::make(SERIAL_E_RESOURCES, "out of file descriptors while opening " + name_);
    }
    // A connection that ends elsewhere frees a slot: look at the listening socket again.
    slots_->setOnFree([this] { channel_.readerWake_.signal(); });
    return OsStatus::success();
}

OsStatus TcpServerTransport::canSend() const {
    if (limit_ == 1 && connected_) {
        return OsStatus::success();
    }
    return OsStatus::make(SERIAL_E_HUNG_UP, channel_.path_ + " has no connection to send to");
}

bool TcpServerTransport::carrier() const {
    return limit_ == 1 ? connected_.load() : !channel_.stop_.load();
}

void TcpServerTransport::hangUp() {
    std::lock_guard io(channel_.ioMutex_);
    channel_.device_.shutdownSocket();
}

std::int32_t TcpServerTransport::beforeWait(int& extraFd, int& timeoutMs) {
    std::int32_t bits = 0;
    // The writer found the connection broken: drop it here, where it is replaced.
    const std::uint64_t broken = brokenGen_.exchange(0);
    if (broken != 0 && broken == connectionGen_.load() && connected_) {
        bits |= dropConnection();
    }
    extraFd = -1;
    timeoutMs = -1;
    const bool room = limit_ == 1 ? !connected_.load() : slots_->room();
    const auto now = std::chrono::steady_clock::now();
    if (now < acceptPausedUntil_) {
        timeoutMs =
            int(std::chrono::duration_cast<std::chrono::milliseconds>(acceptPausedUntil_ - now)
                    .count()) +
            1;
    } else if (room) {
        extraFd = listenFd_;
    }
    return bits;
}

std::int32_t TcpServerTransport::extraReadable() {
    // Above 1, every connection already waiting is taken in this round, up to the limit.
    std::int32_t bits = 0;
    bool accepted = true;
    do {
        bits |= acceptConnection(accepted);
    } while (accepted && limit_ > 1 && !channel_.stop_ && slots_->room());
    return bits;
}

std::int32_t TcpServerTransport::acceptConnection(bool& accepted) {
    accepted = false;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&address), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
            // Out of descriptors or memory, or a broken listening socket: it stays
            // readable, and without a pause this would spin.
            acceptPausedUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        }
        return 0;
    }
    accepted = true;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const PeerAddress peer = addressOf(reinterpret_cast<const sockaddr*>(&address));
    if (limit_ == 1) {
        {
            std::lock_guard io(channel_.ioMutex_);
            std::lock_guard lock(channel_.mutex_);
            channel_.device_.adoptSocket(fd, channel_.path_);
            channel_.peer_ = peer;
            channel_.peerHandle_ = fd;
            channel_.havePeer_ = true;
        }
        connectionGen_.fetch_add(1);
        connected_ = true;
        channel_.writerWake_.signal();
        if (channel_.dispatch(SERIAL_EV_RING) != 0) {
            return dropConnection(); // refused
        }
        return 0;
    }
    // Offered to the event procedure, which may hand it to a comm id of its own.
    PendingConnection pending{fd, peer, slots_->take(slots_)};
    const std::int32_t handle = PendingConnections::instance().add(std::move(pending));
    channel_.setPeer(handle, peer);
    channel_.dispatch(SERIAL_EV_RING);
    if (auto left = PendingConnections::instance().take(handle)) {
        ::close(left->fd); // refused, or nobody took it over
    }
    return 0;
}

std::int32_t TcpServerTransport::dropConnection() {
    {
        std::lock_guard io(channel_.ioMutex_);
        std::lock_guard lock(channel_.mutex_);
        channel_.device_.close();
        channel_.output_.clear();
        ++channel_.outputGeneration_;
        channel_.queueChanged_.notify_all();
    }
    connected_ = false;
    return SERIAL_EV_CD;
}

bool TcpServerTransport::writeFailed(std::uint64_t generation) {
    // Thread 0 drops it; thread 1 waits until then (the next accept wakes it).
    brokenGen_ = generation;
    channel_.readerWake_.signal();
    return true;
}

void TcpServerTransport::stopping() {
    if (slots_) {
        slots_->setOnFree(nullptr);
    }
}

void TcpServerTransport::stopped() {
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

} // namespace serilon
