// A TCP connection as a channel's transport: a client's, or one a server accepted and a
// comm id took over.
#pragma once

#include "libs/serilon/tcp_connection.h"
#include "libs/serilon/transport.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace serilon {

// The channel's device is the connected socket (ownership passes, also when open()
// fails). token is held while the connection lives: its end, or the close, frees the
// slot of the server that accepted it; the bytes stay readable after the end. Writes go
// to the socket from the caller's thread while none wait before them.
class TcpTransport : public Transport {
public:
    TcpTransport(Channel& channel, int fd, std::string name, PeerAddress peer, std::int32_t handle,
                 std::shared_ptr<void> token)
        : Transport(channel), fd_(fd), name_(std::move(name)), peer_(std::move(peer)),
          handle_(handle), token_(std::move(token)) {}
    OsStatus open() override;
    bool sendsFromCaller() const override { return true; }
    bool drainsOnClose() const override { return true; }
    // Shuts the socket down; thread 0 sees the end as a peer's hang-up.
    void hangUp() override;
    void ended() override { releaseToken(); }
    void stopped() override { releaseToken(); }

private:
    void releaseToken();

    const int fd_;
    const std::string name_;
    const PeerAddress peer_;
    const std::int32_t handle_;
    std::mutex tokenMutex_;
    std::shared_ptr<void> token_; // guarded by tokenMutex_
};

} // namespace serilon
