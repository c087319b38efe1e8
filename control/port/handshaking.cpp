#include "control/port/handshaking.h"

#include "serilon/serilon.h"

namespace vort {

int32_t flowFlagsFor(int16_t handshaking) {
    switch (handshaking) {
    case kHandshakeXOnXOff:
        return SERIAL_FLOW_XONXOFF;
    case kHandshakeRts:
        return SERIAL_FLOW_RTSCTS;
    case kHandshakeRtsXOnXOff:
        return SERIAL_FLOW_XONXOFF | SERIAL_FLOW_RTSCTS;
    case kHandshakeDtr:
        return SERIAL_FLOW_DTRDSR;
    case kHandshakeDtrXOnXOff:
        return SERIAL_FLOW_XONXOFF | SERIAL_FLOW_DTRDSR;
    default:
        return 0;
    }
}

int16_t handshakingFor(int32_t flags) {
    const bool xon = flags & SERIAL_FLOW_XONXOFF;
    const bool rts = flags & SERIAL_FLOW_RTSCTS;
    const bool dtr = flags & SERIAL_FLOW_DTRDSR;
    if (rts)
        return xon ? kHandshakeRtsXOnXOff : kHandshakeRts;
    if (dtr)
        return xon ? kHandshakeDtrXOnXOff : kHandshakeDtr;
    return xon ? kHandshakeXOnXOff : kHandshakeNone;
}

} // namespace vort
