// "TCU.INI": the persisted port number and port settings, and where they live.
//
// The file is plain 8-bit text of entries key=value; with keys of exactly 8
// characters including the "=" ("PORTCOM=", "PORTSET=", "SUPPSET="). It lives in the
// program's configuration directory, $XDG_CONFIG_HOME/tcu (else ~/.config/tcu), which
// is created when missing. Nothing else is kept between runs.
//
// GUI thread only (the variables are program-wide state of that thread).
#pragma once

#include <QString>
#include <cstdint>

namespace tcu {

// Program-wide state of the start-up and the port settings file.
extern QString WindowsDir;    // the configuration directory (no trailing "/")
extern QString IniPath;       // WindowsDir + "/TCU.INI"
extern QString IniPortCom;    // PORTCOM value as read ("" until loaded)
extern QString IniPortSet;    // PORTSET value as read ("" until loaded)
extern QString IniSuppSet;    // written for SUPPSET by a rewrite; always empty
extern int16_t StartupDetect; // detections run so far; Main sets it to 1 first

inline constexpr char kIniFileName[] = "TCU.INI";
// The whole default file.
inline constexpr char kDefaultIniText[] = "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n";
// Longest file that is read; a longer one is replaced by the default file.
inline constexpr qint64 kMaxIniBytes = 32767;

// The program's configuration directory, created when missing: $XDG_CONFIG_HOME/tcu
// when XDG_CONFIG_HOME is an absolute path, else $HOME/.config/tcu.
QString configDirectory();

// Sets WindowsDir and IniPath, then reads the file into IniPortCom and IniPortSet.
// A missing or unreadable file, one longer than kMaxIniBytes, a PORTCOM value that is
// not a number or not one of 1..6: the default file is written (replacing the old
// one) and the defaults "1" and "9600,n,8,1" are used. A path holding something other
// than a regular file (a FIFO, a device, a directory) counts as unreadable: it is never
// opened for reading or writing, so nothing blocks, and the repair leaves it alone and
// says so on stderr. Reading stops quietly at the
// first entry shorter than its key (entries behind it are not read); unknown keys are
// skipped; keys are compared case-sensitively. Never fails towards the caller: when the
// default file cannot be written the defaults are used all the same.
void LoadPortSettings();

// The line a rewrite puts into the file: "PORTCOM=" + port + ";PORTSET=" + settings +
// ";SUPPSET=" + IniSuppSet + ";" and CR LF.
QString portSettingsLine(int16_t commPort, const QString& settings);

// Replaces the whole file at IniPath with portSettingsLine(...). The file is replaced
// in one step (platform/files/atomic_rewrite.h: written beside it, then renamed; a
// link stays a link, the file keeps its mode), so a failed write never leaves a
// half-written file. False when it could not be written (the reason on stderr);
// IniPortCom and IniPortSet are not touched.
bool RewritePortSettings(int16_t commPort, const QString& settings);

// Puts every variable above back to its value at program start (tests).
void resetPortSettingsState();

} // namespace tcu
