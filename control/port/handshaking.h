// Mapping between the Handshaking property (0..5) and the serial core library's
// flow-control flags (0x80 XON/XOFF, 0x10 RTS/CTS, 0x20 DTR/DSR).
#pragma once

#include <cstdint>

#include "vort/property_values.h"

namespace vort {

// Flags written for a Handshaking value; any value outside 0..5 writes no flags.
int32_t flowFlagsFor(int16_t handshaking);

// The Handshaking value a set of flags reads back as. RTS/CTS wins over DTR/DSR
// when both are set.
int16_t handshakingFor(int32_t flowFlags);

} // namespace vort
