// The automatic baud detection's rate list and ping frame. The procedures are in
// app/link/baud_detect.cpp: the ping is the program core's, the detection Form1's
// (mnuauto_Click); ParityLetter is the core's.
#pragma once

#include <QString>
#include <array>

namespace tcu {

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
