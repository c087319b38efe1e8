// The automatic baud detection's rate list and program-wide state. The procedures are
// members of Form1 (mnuauto_Click, the ping) in app/link/baud_detect.cpp.
#pragma once

#include <QString>
#include <array>

namespace tcu {

// Parity letter of every settings string the detection and the manual window build:
// "" at start, "N" once a detection ran, "N"/"O"/"E" from the manual window. Not saved.
extern QString ParityLetter;

// The rates tried, in order; each entry is 7 characters: the rate right-aligned in 6,
// then a comma. The control accepts the leading blanks.
inline const std::array<QString, 8> kDetectionRates = {
    QStringLiteral("  9600,"), QStringLiteral(" 19200,"), QStringLiteral("115200,"),
    QStringLiteral(" 57600,"), QStringLiteral(" 38400,"), QStringLiteral("  4800,"),
    QStringLiteral("  2400,"), QStringLiteral("  1200,")};

// The ping frame: SOH "<TXPING:>" EOT.
QString pingFrame();

// Tick period of one detection try, and the manual window's ping wait.
inline constexpr int kDetectionTickMs = 500;
inline constexpr int kManualPingWaitMs = 1000;

} // namespace tcu
