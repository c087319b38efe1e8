// Setting one port's line in the map file (ports.conf) while keeping the rest of it.
#pragma once

#include <string>
#include <string_view>

namespace serilon {

// Why a path cannot stand in a map line ("" when it can): empty, not absolute, a newline
// or NUL in it, blanks around it (the reader trims them) or a '#' after a blank (the
// reader takes the rest for a comment).
std::string mapPathProblem(std::string_view path);

// The map text with port's entry set to path: the first line for port is replaced (a
// comment at its end stays), later lines for port are dropped (a later line would win),
// or "COM<port>=<path>" is added at the end. Every other line stays byte for byte.
std::string setPortMapEntry(std::string_view text, int port, std::string_view path);

enum class MapWrite { Written, Invalid, Permission, Failed };

// Sets port's entry in the map file at mapFile (made, with its folder, when missing)
// through an atomic rewrite that keeps the file's mode; anything else but Written sets
// error to a sentence naming the file and the reason. port must be 1..255 and path pass
// mapPathProblem.
MapWrite writePortMapEntry(const std::string& mapFile, int port, const std::string& path,
                           std::string& error);

} // namespace serilon
