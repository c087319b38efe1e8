// Where received files go when FileDownLoadDir holds its stored default "\".
#pragma once

#include <optional>
#include <string>

namespace vort {

// FileDownLoadDir's default: the one text that names the user's download directory.
inline constexpr const char* kDefaultDownLoadDir = "\\";

// The user's download directory as xdg-user-dir names it: XDG_DOWNLOAD_DIR from
// user-dirs.dirs in $XDG_CONFIG_HOME (else ~/.config), "$HOME" in it replaced by the
// home directory; without that entry, the home directory itself ($HOME, else the
// password database's). The directory is created (with its parents) when missing.
// nullopt when no home directory is known or the directory cannot be made. Any thread.
std::optional<std::string> userDownloadDirectory();

} // namespace vort
