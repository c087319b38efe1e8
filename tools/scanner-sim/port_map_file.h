#pragma once

#include <string>
#include <string_view>

namespace scanner_sim {

// Editing the port map other programs read to turn a port number into a device path
// (its path: serilon::portMapPath()). Lines are read by the serial core library's own
// parser (serilon::parsePortMapLine), so a line the library skips is never taken for an
// entry here, and the reverse.

// Returns text with port's entry set to "COM<port>=<path>": the first line that names the
// port is replaced, later lines for it are removed (a later
// line would win), every other line is kept as it was; without one the entry is added
// at the end.
std::string withPortEntry(std::string_view text, int port, std::string_view path);

// Returns text without the lines for port whose path is exactly path; lines that name
// another path (someone changed the entry meanwhile) are kept.
std::string withoutPortEntry(std::string_view text, int port, std::string_view path);

// Read-modify-write of the map file, creating its directories; the directory is locked
// while the file is rewritten and the new text replaces the old by rename, so readers
// never see half a file (platform/files/atomic_rewrite.h: a link stays a link, the
// file keeps its mode). A map path holding a FIFO, a device or a directory is refused
// without blocking and left alone. Return false with a reason.
bool setPortEntry(const std::string& file, int port, const std::string& path, std::string& error);
bool removePortEntry(const std::string& file, int port, const std::string& path,
                     std::string& error);

} // namespace scanner_sim
