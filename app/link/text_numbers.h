// Numbers read from texts the way the program's procedures read them.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tcu {

// A text that is one decimal number as a whole ("3", " 3 ", "+3", "3.0", "3e0"; blanks
// around it allowed); nothing for anything else, the empty text included.
std::optional<double> toNumber(const QString& text);

// The number at the start of a text, 0 when there is none: leading blanks are skipped
// and reading stops at the first character that cannot continue a decimal number
// ("12abc" 12, "abc" 0, "" 0).
double leadingNumber(const QString& text);

// A text converted to a 16-bit integer: as toNumber, rounded half to even.
// Throws RunTimeError 13 (type mismatch) when it is not a number, 6 (overflow) when it
// does not fit 16 bits.
int16_t toInteger16(const QString& text);

// The port number a text names when it is exactly one of 1..6 (as a number: "2",
// " 2", "2.0"); nothing otherwise.
std::optional<int16_t> portNumberOf(const QString& text);

} // namespace tcu
