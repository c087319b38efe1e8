// TCP sockets for the network comm ids: connecting a client, listening as a server,
// and the connections a server has accepted but no comm id has taken over yet.
#pragma once

#include "libs/serilon/os_error.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct sockaddr;

namespace serilon {

struct PeerAddress {
    std::string ip; // numeric text, IPv4 or IPv6
    std::uint16_t port = 0;
};

// The numeric address and port of a socket address.
PeerAddress addressOf(const sockaddr* address);

// Connects to host (name or numeric address; every address getaddrinfo gives is
// tried in turn) and port, waiting at most timeoutMs per address. On success fd is a
// connected non-blocking socket and peer its peer.
OsStatus connectTcp(const std::string& host, std::uint16_t port, int timeoutMs, int& fd,
                    PeerAddress& peer);

// Listens on host (empty: every IPv6 and IPv4 address) and port. fd is non-blocking.
OsStatus listenTcp(const std::string& host, std::uint16_t port, int& fd);

// The live connections of one server with more than one allowed: accepting stops at
// the limit and resumes when a connection ends. Thread-safe; only the server's thread 0
// takes slots (after room()), so the count never passes the limit.
class ServerSlots {
public:
    explicit ServerSlots(int limit) : limit_(limit) {}
    bool room() const;
    // Counts one connection; the token given back ends it when its last copy goes.
    std::shared_ptr<void> take(const std::shared_ptr<ServerSlots>& self);
    // Called when a slot frees (the server's thread 0 wakes); cleared at close.
    void setOnFree(std::function<void()> onFree);
    int live() const;

private:
    void release();
    std::mutex mutex_; // guards onFree_
    const int limit_;
    std::atomic<int> live_{0};
    std::function<void()> onFree_;
};

// A connection accepted by a server, waiting to be taken over by a comm id.
struct PendingConnection {
    int fd = -1;
    PeerAddress peer;
    std::shared_ptr<void> token; // the server slot the connection holds
};

// Accepted connections by handle. Handles are numbers of their own (never reused in a
// process's life), so a stale or invented handle can never reach another descriptor.
class PendingConnections {
public:
    static PendingConnections& instance();
    std::int32_t add(PendingConnection connection);
    // Removes and returns the connection; nothing for an unknown handle.
    std::optional<PendingConnection> take(std::int32_t handle);

private:
    std::mutex mutex_;
    std::int32_t next_ = 1;
    std::map<std::int32_t, PendingConnection> pending_;
};

} // namespace serilon
