#include "libs/serilon/port_map.h"

#include <cstdlib>

#include "platform/files/regular_file.h"

namespace serilon {

namespace {

// The map file is a few lines; anything past this is not a map file.
constexpr std::size_t kMaxMapFileBytes = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// "COM<n>" with n in 1..255 (leading zeros allowed); 0 when the name does not fit.
int portNumberOf(std::string_view name) {
    if (name.size() < 4) {
        return 0;
    }
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') {
        return 0;
    }
    int number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        number = number * 10 + (c - '0');
        if (number > 255) {
            return 0;
        }
    }
    return number >= 1 ? number : 0;
}

// Cuts a trailing comment: a '#' at the start or after a blank. A '#' inside a path
// ("/dev/serial/by-id/x#1") stays.
std::string_view stripComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || isBlank(line[i - 1]))) {
            return line.substr(0, i);
        }
    }
    return line;
}

} // namespace

std::optional<PortMapEntry> parsePortMapLine(std::string_view line) {
    line = trim(stripComment(line));
    const std::size_t eq = line.find('=');
    if (line.empty() || eq == std::string_view::npos) {
        return std::nullopt;
    }
    const int number = portNumberOf(trim(line.substr(0, eq)));
    const std::string_view path = trim(line.substr(eq + 1));
    // A NUL cannot be part of a path the system would open.
    if (number == 0 || path.empty() || path.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return PortMapEntry{number, path};
}

PortMap parsePortMap(std::string_view text) {
    PortMap map;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (const auto entry = parsePortMapLine(line)) {
            map[entry->port] = std::string(entry->path);
        }
    }
    return map;
}

std::string portMapPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        return std::string(config) + "/serilon/ports.conf";
    }
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') {
        return std::string(home) + "/.config/serilon/ports.conf";
    }
    return {};
}

namespace {

// Reads the map file at path into map, entries already there winning. False with
// *refused set when path holds something other than a regular file.
bool readMapFile(const std::string& path, PortMap& map, std::string* refused) {
    const vort::files::ReadResult r = vort::files::readRegularFile(path, kMaxMapFileBytes);
    if (r.outcome != vort::files::ReadOutcome::Read) {
        if (refused && r.outcome == vort::files::ReadOutcome::Failed && r.failure.err == 0) {
            *refused = "the port map " + r.failure.text();
            return false;
        }
        return true;
    }
    map.merge(parsePortMap(r.text));
    return true;
}

} // namespace

std::string portMapOverridePath() {
    const char* path = std::getenv("SERILON_PORT_MAP");
    return path && path[0] == '/' ? std::string(path) : std::string();
}

PortMap loadPortMap(std::string* refused) {
    if (refused) {
        refused->clear();
    }
    PortMap map;
    if (const std::string extra = portMapOverridePath(); !extra.empty()) {
        if (!readMapFile(extra, map, refused)) {
            return {};
        }
    }
    const std::string path = portMapPath();
    if (!path.empty() && !readMapFile(path, map, refused)) {
        return {};
    }
    return map;
}

std::string devicePathFor(const PortMap& map, int portNumber) {
    const auto it = map.find(portNumber);
    if (it != map.end()) {
        return it->second;
    }
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

} // namespace serilon
