// Whether tcu1 reconnects a replugged scanner by itself: the check item "&Reconnect
// After Replug" of "&PC Port Setting", kept in tcu1.conf in the program's configuration
// directory (beside TCU.INI, whose format stays as it is).
//
// tcu1.conf holds lines "key=value"; this is the line "ReconnectAfterReplug=1" (on) or
// "=0" (off). A missing file, line or value other than 0 means on. A rewrite replaces
// that line (or adds it) and keeps every other line as it was; it is done in one step
// (platform/files/atomic_rewrite.h). A path that is no regular file is never opened.
#pragma once

#include <QString>
#include <optional>

namespace tcu::devices {

inline constexpr char kReconnectKey[] = "ReconnectAfterReplug";

// configDir + "/tcu1.conf".
QString programSettingsPath(const QString& configDir);
bool readReconnectSetting(const QString& configDir);
// Nothing when written, else why not (the path and the reason).
std::optional<QString> writeReconnectSetting(const QString& configDir, bool on);

} // namespace tcu::devices
