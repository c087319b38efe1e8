// The scanner's application-1 revision as the program keeps it: App1RevNumber and
// QuietRevQuery are the program core's (app/core/program_core.h); this is how an
// "<APP1RV:>" answer sets the number.
#pragma once

#include <QString>
#include <cstdint>

namespace tcu {

class ProgramCore;

// The revision number in an "<APP1RV:>" answer: a blank, then its characters 1, 3 and
// 4 (character 2, the point, is skipped; later ones are ignored), read as a 16-bit
// integer: "3.22..." gives 322. Throws RunTimeError 13 (type mismatch) when they do
// not form a number, 6 (overflow) when the number does not fit.
int16_t App1RevFromAnswer(const QString& answer);

// Registers the "<APP1RV:>" rule that sets core's App1RevNumber. The faces' display
// rules are registered behind it.
void registerRevisionRules(ProgramCore& core);

} // namespace tcu
