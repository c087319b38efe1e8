// An ISDN call through CAPI as a channel's transport.
#pragma once

#include "libs/serilon/transport.h"

#include <memory>

namespace serilon {

struct ConnectionConfig;

// Carries ISDN calls through CAPI on the configured controller: listens for calls to the
// own extension at once; calls are placed and ended through the modem calls. Thread 0
// waits on the CAPI descriptor and handles the controller's messages (an incoming call's
// SERIAL_EV_RING is offered from there, like a TCP server's connection); thread 1 sends
// the output queue as B3 data blocks. The channel's device stays closed.
class IsdnTransport : public Transport {
public:
    IsdnTransport(Channel& channel, const ConnectionConfig& config);
    OsStatus open() override;
    std::shared_ptr<IsdnConnection> isdn() const override { return isdn_; }
    bool carrier() const override;
    // From the event procedure the call is ended without waiting for the controller.
    void hangUp() override;
    void readerLoop() override;
    void writerLoop() override;
    // Releases the CAPI application, which ends its call.
    void stopped() override;

private:
    std::shared_ptr<IsdnConnection> isdn_; // made by the constructor
};

} // namespace serilon
