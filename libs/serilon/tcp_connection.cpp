#include "libs/serilon/tcp_connection.h"

#include "serilon/serilon.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serilon {

namespace {

std::string endpoint(const std::string& host, std::uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

OsStatus resolve(const std::string& host, std::uint16_t port, bool passive, addrinfo** out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : AI_ADDRCONFIG);
    const std::string service = std::to_string(port);
    const int rc =
        ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, out);
    if (rc != 0) {
        return OsStatus::make(SERIAL_E_NO_DEVICE, "the host \"" + host + "\" cannot be resolved: " +
                                                      ::gai_strerror(rc));
    }
    return OsStatus::success();
}

OsStatus socketError(int err, const std::string& what) {
    SerialStatus st = SERIAL_E_IO;
    switch (err) {
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ETIMEDOUT:
    case EADDRNOTAVAIL:
        st = SERIAL_E_NO_DEVICE;
        break;
    case EADDRINUSE:
        st = SERIAL_E_BUSY;
        break;
    case EACCES:
    case EPERM:
        st = SERIAL_E_PERMISSION;
        break;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        st = SERIAL_E_RESOURCES;
        break;
    default:
        break;
    }
    return OsStatus{st, what + ": " + std::strerror(err), err};
}

// One connect attempt with a time limit; returns 0 or an errno.
int connectOne(const addrinfo* ai, int timeoutMs, int& fd) {
    fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        return errno;
    }
    int err = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) < 0) {
        err = errno;
        if (err == EINPROGRESS) {
            pollfd p = {fd, POLLOUT, 0};
            int r;
            do {
                r = ::poll(&p, 1, timeoutMs);
            } while (r < 0 && errno == EINTR);
            if (r == 0) {
                err = ETIMEDOUT;
            } else {
                socklen_t len = sizeof err;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) {
                    err = errno;
                }
            }
        }
    }
    if (err != 0) {
        ::close(fd);
        fd = -1;
    }
    return err;
}

} // namespace

PeerAddress addressOf(const sockaddr* address) {
    PeerAddress peer;
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        peer.port = ntohs(in->sin_port);
    } else if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        peer.port = ntohs(in6->sin6_port);
    }
    peer.ip = text;
    // An IPv4 peer reaching a dual-stack server shows as ::ffff:a.b.c.d; say a.b.c.d.
    if (peer.ip.rfind("::ffff:", 0) == 0 && peer.ip.find('.') != std::string::npos) {
        peer.ip.erase(0, 7);
    }
    return peer;
}

OsStatus connectTcp(const std::string& host, std::uint16_t port, int timeoutMs, int& fd,
                    PeerAddress& peer) {
    fd = -1;
    if (host.empty()) {
        return OsStatus::make(SERIAL_E_INVALID, "no IP address or host to connect to");
    }
    if (port == 0) {
        return OsStatus::make(SERIAL_E_INVALID, "no port to connect to on " + host);
    }
    addrinfo* list = nullptr;
    OsStatus st = resolve(host, port, false, &list);
    if (!st.ok()) {
        return st;
    }
    int lastErr = ECONNREFUSED;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        lastErr = connectOne(ai, timeoutMs, fd);
        if (lastErr == 0) {
            peer = addressOf(ai->ai_addr);
            break;
        }
    }
    ::freeaddrinfo(list);
    if (fd < 0) {
        return socketError(lastErr, "cannot connect to " + endpoint(host, port));
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return OsStatus::success();
}

OsStatus listenTcp(const std::string& host, std::uint16_t port, int& fd) {
    fd = -1;
    if (port == 0) {
        return OsStatus::make(SERIAL_E_INVALID, "no port to listen on");
    }
    addrinfo* list = nullptr;
    // Without an address: the IPv6 wildcard taking IPv4 too, else IPv4 alone.
    OsStatus st = resolve(host.empty() ? "::" : host, port, true, &list);
    if (!st.ok() && host.empty()) {
        st = resolve("0.0.0.0", port, true, &list);
    }
    if (!st.ok()) {
        return st;
    }
    int lastErr = EADDRNOTAVAIL;
    for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
        fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                      ai->ai_protocol);
        if (fd < 0) {
            lastErr = errno;
            continue;
        }
        const int one = 1;
        const int zero = 0;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (ai->ai_family == AF_INET6 && host.empty()) {
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        }
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) < 0 || ::listen(fd, SOMAXCONN) < 0) {
            lastErr = errno;
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(list);
    if (fd < 0 && host.empty() && lastErr == EAFNOSUPPORT) {
        return listenTcp("0.0.0.0", port, fd);
    }
    if (fd < 0) {
        return socketError(lastErr,
                           "cannot listen on " + endpoint(host.empty() ? "*" : host, port));
    }
    return OsStatus::success();
}

bool ServerSlots::room() const {
    return live_.load() < limit_;
}

int ServerSlots::live() const {
    return live_.load();
}

std::shared_ptr<void> ServerSlots::take(const std::shared_ptr<ServerSlots>& self) {
    live_.fetch_add(1);
    return std::shared_ptr<void>(nullptr, [self](void*) { self->release(); });
}

void ServerSlots::setOnFree(std::function<void()> onFree) {
    std::lock_guard lock(mutex_);
    onFree_ = std::move(onFree);
}

void ServerSlots::release() {
    // Only a server that reached its limit has stopped looking at its listening socket;
    // below it no wake-up is needed (and many connections ending at once do not queue
    // on the lock).
    if (live_.fetch_sub(1) < limit_) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (onFree_) {
        onFree_();
    }
}

PendingConnections& PendingConnections::instance() {
    static PendingConnections* registry = new PendingConnections(); // never destroyed
    return *registry;
}

std::int32_t PendingConnections::add(PendingConnection connection) {
    std::lock_guard lock(mutex_);
    const std::int32_t handle = next_++;
    if (next_ <= 0) {
        next_ = 1;
    }
    pending_.emplace(handle, std::move(connection));
    return handle;
}

std::optional<PendingConnection> PendingConnections::take(std::int32_t handle) {
    std::lock_guard lock(mutex_);
    auto it = pending_.find(handle);
    if (it == pending_.end()) {
        return std::nullopt;
    }
    PendingConnection c = std::move(it->second);
    pending_.erase(it);
    return c;
}

} // namespace serilon
