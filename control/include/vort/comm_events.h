// The codes CommEvent reports, read in an OnComm handler: communication events
// (1..7) and communication errors (1001 and up). The type library publishes them as
// VORTOCX_EVENTS and VORTOCX_ERRORS (COMM_EVENTS and COMM_ERRORS for older hosts);
// CommEvent reads 0 once its code has been read.
#pragma once

#include <cstdint>

namespace vort {

enum CommEventCode : int16_t {
    // Events.
    kCommEvSend = 1,    // the transmit buffer ran empty (SThreshold above 0); with Protocol 7
                        // a telegram was sent
    kCommEvReceive = 2, // RThreshold bytes are waiting; with Protocol 7 a telegram arrived
    kCommEvCts = 3,     // the CTS line changed
    kCommEvDsr = 4,     // the DSR line changed
    kCommEvCd = 5,      // the CD line changed
    kCommEvRing = 6,    // a ring, an incoming ISDN call or TCP connection
    kCommEvEof = 7,     // published for hosts; this control does not report it
    // Errors.
    kCommErBreak = 1001,
    kCommErCtsTo = 1002,
    kCommErDsrTo = 1003,
    kCommErFrame = 1004,
    kCommErOverrun = 1006,
    kCommErCdTo = 1007,
    kCommErRxOver = 1008, // the receive buffer (or the 3964 receive list) is full
    kCommErRxParity = 1009,
    kCommErTxFull = 1010, // the transmit buffer (or the 3964 send queue) is full
    kCommErDcb = 1011,
    kCommErTxFailed = 2000, // a 3964 telegram dropped after its retries
};

} // namespace vort
