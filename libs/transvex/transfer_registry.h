// Which comm ids carry a running transfer, and whether each has been asked to stop.
//
// A transfer call registers itself for its comm id while it runs (TransferRegistration)
// and checks stopRequested() between steps; XferAbort sets the request from any
// thread and returns at once. Thread-safe.
#pragma once

#include <cstdint>

namespace transvex {

class TransferRegistration {
public:
    // Registers a transfer on commId; a request left over from an earlier transfer is
    // cleared.
    explicit TransferRegistration(int32_t commId);
    ~TransferRegistration();
    TransferRegistration(const TransferRegistration&) = delete;
    TransferRegistration& operator=(const TransferRegistration&) = delete;

    // Whether XferAbort asked this transfer to stop.
    bool stopRequested() const;
    // Milliseconds the stop may take, as XferAbort gave them (0 before a request).
    int32_t stopLimitMs() const;

private:
    int32_t commId_;
};

// Asks the transfer on commId to stop within limitMs; false when none runs there.
bool requestStop(int32_t commId, int32_t limitMs);

} // namespace transvex
