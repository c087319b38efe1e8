// The scanner's application-1 revision as the program keeps it.
//
// App1RevNumber is set from every successful "<APP1RV:>" exchange (whatever
// QuietRevQuery says) and gates the serial number and registration key (322 or more).
// QuietRevQuery is True only around the start-up query, so that start-up learns the
// revision without writing it to the window. Both live for the whole run.
//
// GUI thread only.
#pragma once

#include <QString>
#include <cstdint>

namespace tcu {

class AnswerRules;

extern int16_t App1RevNumber; // 0 at start
extern bool QuietRevQuery;    // false at start

// The revision number in an "<APP1RV:>" answer: a blank, then its characters 1, 3 and
// 4 (character 2, the point, is skipped; later ones are ignored), read as a 16-bit
// integer: "3.22..." gives 322. Throws RunTimeError 13 (type mismatch) when they do
// not form a number, 6 (overflow) when the number does not fit.
int16_t App1RevFromAnswer(const QString& answer);

// Registers the "<APP1RV:>" rule that sets App1RevNumber. The identity fields' display
// rules are registered behind it.
void registerRevisionRules(AnswerRules& rules);

// Puts the variables above back to their start values (tests).
void resetRevisionState();

} // namespace tcu
