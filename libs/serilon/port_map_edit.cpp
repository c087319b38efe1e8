#include "libs/serilon/port_map_edit.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "libs/serilon/port_map.h"
#include "platform/files/atomic_rewrite.h"
#include "platform/files/regular_file.h"

namespace serilon {

namespace {

constexpr std::size_t kMaxMapFileBytes = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The comment at the end of a map line, with the blanks before it ("" when none).
std::string_view trailingComment(std::string_view line) {
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '#' && isBlank(line[i - 1])) {
            std::size_t start = i;
            while (start > 0 && isBlank(line[start - 1])) {
                --start;
            }
            return line.substr(start);
        }
    }
    return {};
}

// Makes dir and its parents (mode 0700 for new ones, as for a user's configuration).
bool makeFolders(const std::string& dir, std::string& error) {
    std::size_t pos = 1;
    while (pos <= dir.size()) {
        const std::size_t slash = dir.find('/', pos);
        const std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot make the folder " + part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    return true;
}

} // namespace

std::string mapPathProblem(std::string_view path) {
    if (path.empty()) {
        return "the device path is empty";
    }
    if (path.find('\n') != std::string_view::npos || path.find('\0') != std::string_view::npos) {
        return "the device path holds a line break or a NUL";
    }
    if (path.front() != '/') {
        return "the device path is not absolute (it starts with /dev/...)";
    }
    if (isBlank(path.back())) {
        return "the device path ends in a blank";
    }
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '#' && isBlank(path[i - 1])) {
            return "the device path holds a '#' after a blank, which the map reads as a comment";
        }
    }
    return {};
}

std::string setPortMapEntry(std::string_view text, int port, std::string_view path) {
    const std::string entry = "COM" + std::to_string(port) + "=" + std::string(path);
    std::string out;
    out.reserve(text.size() + entry.size() + 1);
    bool placed = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        const bool hasNewline = end != std::string_view::npos;
        text.remove_prefix(hasNewline ? end + 1 : text.size());
        const auto parsed = parsePortMapLine(line);
        if (parsed && parsed->port == port) {
            if (placed) {
                continue; // a later line would win over the one just set
            }
            placed = true;
            out += entry;
            out += trailingComment(line);
        } else {
            out += line;
        }
        if (hasNewline) {
            out += '\n';
        }
    }
    if (!placed) {
        if (!out.empty() && out.back() != '\n') {
            out += '\n';
        }
        out += entry;
        out += '\n';
    } else if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    return out;
}

MapWrite writePortMapEntry(const std::string& mapFile, int port, const std::string& path,
                           std::string& error) {
    if (port < 1 || port > 255) {
        error = "port number " + std::to_string(port) + " is outside 1..255";
        return MapWrite::Invalid;
    }
    if (const std::string problem = mapPathProblem(path); !problem.empty()) {
        error = problem + ": \"" + path + "\"";
        return MapWrite::Invalid;
    }
    if (mapFile.empty()) {
        error = "the port map has no place: neither XDG_CONFIG_HOME nor HOME is set";
        return MapWrite::Invalid;
    }
    const vort::files::ReadResult r = vort::files::readRegularFile(mapFile, kMaxMapFileBytes);
    std::string text;
    if (r.outcome == vort::files::ReadOutcome::Read) {
        if (r.truncated) {
            error = "the port map " + mapFile + " is larger than 1 MiB; it is left as it is";
            return MapWrite::Invalid;
        }
        text = r.text;
    } else if (r.outcome == vort::files::ReadOutcome::Failed) {
        error = "the port map " + r.failure.text();
        if (r.failure.err == 0) {
            return MapWrite::Invalid;
        }
        return r.failure.err == EACCES || r.failure.err == EPERM ? MapWrite::Permission
                                                                 : MapWrite::Failed;
    } else {
        const std::size_t slash = mapFile.rfind('/');
        if (slash != std::string::npos && slash > 0 &&
            !makeFolders(mapFile.substr(0, slash), error)) {
            return errno == EACCES || errno == EPERM ? MapWrite::Permission : MapWrite::Failed;
        }
    }
    vort::files::FileFailure failure;
    if (!vort::files::rewriteFile(mapFile, setPortMapEntry(text, port, path), failure)) {
        error = "the port map " + failure.text();
        if (failure.err == 0) {
            return MapWrite::Invalid;
        }
        return failure.err == EACCES || failure.err == EPERM ? MapWrite::Permission
                                                             : MapWrite::Failed;
    }
    return MapWrite::Written;
}

} // namespace serilon
