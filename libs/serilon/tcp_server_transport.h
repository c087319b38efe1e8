// A TCP server as a channel's transport.
#pragma once

#include "libs/serilon/tcp_connection.h"
#include "libs/serilon/transport.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace serilon {

// Serves on a listening socket (ownership passes, also when open() fails). With a limit
// of 1 the channel's device is its one connection, replaced by the next when it ends.
// Above 1 each accepted connection is offered through SERIAL_EV_RING (see
// SerialConnectionHandle) and closed after the event procedure unless a comm id has
// taken it over; accepting pauses while the limit of live connections is reached.
//
// Only thread 0 replaces the connection, under the channel's ioMutex_, which writes to
// the device also hold, so no write reaches a descriptor that was closed (and perhaps
// reused) meanwhile.
class TcpServerTransport : public Transport {
public:
    TcpServerTransport(Channel& channel, int listenFd, std::string name, int limit)
        : Transport(channel), listenFd_(listenFd), name_(std::move(name)),
          limit_(limit < 1 ? 1 : limit) {}
    OsStatus open() override;
    // Only a server with a limit of 1 that carries a connection takes bytes.
    OsStatus canSend() const override;
    // One connection: carrier while it lives. More: the server itself lives.
    bool carrier() const override;
    // Shuts the connection down; thread 0 drops it and listens again.
    void hangUp() override;

    std::int32_t beforeWait(int& extraFd, int& timeoutMs) override;
    std::int32_t extraReadable() override;
    std::int32_t deviceEnded() override { return dropConnection(); }
    std::uint64_t generation() const override { return connectionGen_.load(); }
    bool writeFailed(std::uint64_t generation) override;

    // Connections handed on may outlive the channel: they no longer wake it.
    void stopping() override;
    void stopped() override;

private:
    // Accepts one connection and offers it; accepted tells whether there was one.
    std::int32_t acceptConnection(bool& accepted);
    // The one connection of a server with a limit of 1 ended: listen again.
    std::int32_t dropConnection();

    int listenFd_;
    const std::string name_;
    const int limit_;
    std::shared_ptr<ServerSlots> slots_;
    std::atomic<bool> connected_{false};
    // The connection generation the writer found broken (0 none); thread 0 drops it.
    std::atomic<std::uint64_t> connectionGen_{0};
    std::atomic<std::uint64_t> brokenGen_{0};
    // Accepting pauses after a failure that would repeat at once (out of descriptors).
    std::chrono::steady_clock::time_point acceptPausedUntil_{};
};

} // namespace serilon
