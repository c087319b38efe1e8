#include "tools/scanner-sim/port_map_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "libs/serilon/port_map.h"
#include "platform/files/atomic_rewrite.h"

namespace scanner_sim {

namespace {

// The port a line names, as the serial core library reads it; 0 for comments and other
// lines.
int linePort(std::string_view line, std::string_view* path = nullptr) {
    const auto entry = serilon::parsePortMapLine(line);
    if (!entry)
        return 0;
    if (path)
        *path = entry->path;
    return entry->port;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// The map's folder, when this makes it, is its user's alone, as the map is.
bool makeDirs(const std::string& dir, std::string& error) {
    if (dir.empty())
        return true;
    std::error_code ec;
    if (std::filesystem::create_directories(dir, ec))
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
    if (ec) {
        error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    return true;
}

bool rewrite(const std::string& file, const std::function<std::string(std::string_view)>& edit,
             std::string& error) {
    const size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : file.substr(0, slash);
    if (!makeDirs(dir, error))
        return false;
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        error = "cannot open " + dir + ": " + std::strerror(errno);
        return false;
    }
    // Two simulators started together must not lose each other's entries.
    while (flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    // The map is a few lines; a FIFO or a device in its place is refused, not read.
    constexpr size_t kMaxMapBytes = 1 << 20;
    const vort::files::ReadResult current = vort::files::readRegularFile(file, kMaxMapBytes);
    bool ok = false;
    vort::files::FileFailure failure;
    if (current.outcome == vort::files::ReadOutcome::Failed) {
        error = "cannot read " + current.failure.text();
    } else if (current.truncated) {
        error = "cannot read " + file + ": larger than 1 MiB";
    } else if (const std::string updated = edit(current.text); updated == current.text) {
        ok = true;
    } else if (!vort::files::rewriteFile(file, updated, failure, {0644, false})) {
        error = "cannot write " + failure.text();
    } else {
        ok = true;
    }
    close(dirFd); // releases the lock
    return ok;
}

} // namespace

std::string withPortEntry(std::string_view text, int port, std::string_view path) {
    const std::string entry = "COM" + std::to_string(port) + "=" + std::string(path);
    std::string out;
    bool placed = false;
    for (std::string_view line : splitLines(text)) {
        if (linePort(line) == port) {
            if (placed)
                continue;
            out += entry;
            placed = true;
        } else {
            out += line;
        }
        out += '\n';
    }
    if (!placed)
        out += entry + "\n";
    return out;
}

std::string withoutPortEntry(std::string_view text, int port, std::string_view path) {
    std::string out;
    bool removed = false;
    for (std::string_view line : splitLines(text)) {
        std::string_view linePath;
        if (linePort(line, &linePath) == port && linePath == path) {
            removed = true;
            continue;
        }
        out += line;
        out += '\n';
    }
    return removed ? out : std::string(text);
}

bool setPortEntry(const std::string& file, int port, const std::string& path, std::string& error) {
    return rewrite(
        file, [&](std::string_view text) { return withPortEntry(text, port, path); }, error);
}

bool removePortEntry(const std::string& file, int port, const std::string& path,
                     std::string& error) {
    return rewrite(
        file, [&](std::string_view text) { return withoutPortEntry(text, port, path); }, error);
}

} // namespace scanner_sim
