// Line settings to and from the 52-byte device configuration record.
#pragma once

#include "libs/serilon/line_settings.h"
#include "libs/serilon/os_error.h"
#include "serilon/serilon.h"

namespace serilon {

// Checks and normalises the values of a SerialSetLine call into s (parity upper-cased,
// unknown flow bits dropped); on failure s is unchanged.
OsStatus setLineValues(LineSettings& s, std::int64_t baud, int dataBits, int stopBits, char parity,
                       int flow);

// Fills record from s (length 52, baud, flags, limits, size, parity and stop-bit codes,
// the XON, XOFF, error, EOF and event characters).
void toConfigRecord(const LineSettings& s, SerialConfigRecord& record);

// Reads the record into s. A value out of range (baud 0, data bits outside 5..8, parity
// above 4, stop-bit code above 2) fails and leaves s unchanged. The length field is not
// checked: callers fill the record by reading it first.
OsStatus fromConfigRecord(const SerialConfigRecord& record, LineSettings& s);

} // namespace serilon
