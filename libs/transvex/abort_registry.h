// Which comm ids carry a running transfer, so XferAbort can reach it. A transfer
// call holds a registration for its whole run; XferAbort asks the registered
// channel to stop and returns. Thread-safe.
#pragma once

#include "libs/transvex/channel.h"

#include <cstdint>

namespace transvex {

class AbortRegistration {
public:
    // Registers channel as the transfer on commId; ok() is false when the comm id is
    // out of range or already carries a transfer.
    AbortRegistration(int32_t commId, Channel& channel);
    ~AbortRegistration();
    AbortRegistration(const AbortRegistration&) = delete;
    AbortRegistration& operator=(const AbortRegistration&) = delete;
    bool ok() const { return ok_; }

private:
    int32_t commId_;
    bool ok_ = false;
};

// Asks the transfer on commId to stop within timeoutMs. Returns true when a transfer
// was running; the call returns at once, the transfer call ends by itself.
bool abortTransfer(int32_t commId, int32_t timeoutMs);

} // namespace transvex
