// "TCU.INI": the persisted port number and port settings, and where they live.
//
// The file is plain 8-bit text of entries key=value; with keys of exactly 8
// characters including the "=" ("PORTCOM=", "PORTSET=", "SUPPSET="). It lives in the
// program's configuration directory, $XDG_CONFIG_HOME/tcu (else ~/.config/tcu), which
// is created when missing. Nothing else is kept between runs. What is read from it, and
// the reading and rewriting, are the program core's (app/core/program_core.h).
#pragma once

#include <QString>

namespace tcu {

inline constexpr char kIniFileName[] = "TCU.INI";
// The whole default file.
inline constexpr char kDefaultIniText[] = "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n";
// Longest file that is read; a longer one is replaced by the default file.
inline constexpr qint64 kMaxIniBytes = 32767;

// The program's configuration directory, created when missing: $XDG_CONFIG_HOME/tcu
// when XDG_CONFIG_HOME is an absolute path, else $HOME/.config/tcu.
QString configDirectory();

} // namespace tcu
