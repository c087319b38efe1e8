// How the scanner's identity answers are turned into the texts the window shows.
//
// Pure text functions; the widgets that show them are IdentityFields'.
#pragma once

#include <QString>
#include <cstdint>

namespace tcu {

// The display of "<APP1RV:>", "<APP2RV:>" and "<HARDRV:>" answers: a blank, then the
// first 7 characters (a shorter answer whole, trailing CR LF included).
QString RevisionCaption(const QString& answer);
// The display of a "<FINGER:>" answer: a blank, then the first 8 characters.
QString ModelCaption(const QString& answer);
// The display of a "<WEBSIT:>" answer: the first 17 characters, no leading blank.
QString WebCaption(const QString& answer);

// The identity gate: serial number and registration key exist from revision 3.22 on.
bool IdentitySupported(int16_t app1RevNumber);

// The token that writes the registration key: "<REGKEY=" + key + ">", the key as typed.
QString RegistrationKeyToken(const QString& key);

// The text shown where the serial number or registration key is not supported.
inline constexpr const char* kNotSupported = "NOT SUPPORTED";

} // namespace tcu
