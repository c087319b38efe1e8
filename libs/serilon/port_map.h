// The map from port numbers to device paths (ports.conf).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace serilon {

// Port number (1..255) to device path, as given in the map file.
using PortMap = std::map<int, std::string>;

// Parses the text of a map file. Lines are "COM<n>=<path>": "COM" in any case, n in
// 1..255, blanks around the name, the '=' and the path are trimmed; blank lines and lines
// whose first non-blank is '#' are comments, as is the rest of a line from a '#' that
// follows a blank. A later line for the same port wins. Lines that do not fit are skipped;
// any text, including binary junk, gives a (possibly empty) map.
PortMap parsePortMap(std::string_view text);

// One entry of the map file: the port a line names and its path (a view into the line).
struct PortMapEntry {
    int port = 0;
    std::string_view path;
};

// Reads one line (without its '\n') by the rules of parsePortMap; nullopt for blank
// lines, comments and lines that do not fit. Programs that edit the map file read its
// lines with this, so they see exactly the entries the library sees.
std::optional<PortMapEntry> parsePortMapLine(std::string_view line);

// The map file's path: $XDG_CONFIG_HOME/serilon/ports.conf when XDG_CONFIG_HOME is an
// absolute path, else $HOME/.config/serilon/ports.conf; empty when neither is known.
std::string portMapPath();

// The per-process override map: the file SERILON_PORT_MAP names when it is an absolute
// path, else "". Its entries win over the user's map, port by port.
std::string portMapOverridePath();

// Reads and parses the override map (when set) and the map file now, the override's
// entries winning (a missing or unreadable file is an empty map;
// only its first MiB is read). A path that holds something other than a regular file
// (a FIFO, a device, a directory) is not opened, so it never blocks: the map is empty
// and, when refused is given, *refused names the path and says what is there ("" when
// the map was read or is missing).
PortMap loadPortMap(std::string* refused = nullptr);

// The device path for port number (1..255): the map's entry, else /dev/ttyS<n-1>.
std::string devicePathFor(const PortMap& map, int portNumber);

} // namespace serilon
