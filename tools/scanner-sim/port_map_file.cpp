#include "tools/scanner-sim/port_map_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/files/atomic_rewrite.h"

namespace scanner_sim {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The port a line names and its path, or port 0 for comments and other lines.
int linePort(std::string_view line, std::string_view* path) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() == '#')
        return 0;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return 0;
    std::string_view name = trim(t.substr(0, eq));
    if (name.size() < 4 || (name[0] != 'C' && name[0] != 'c') ||
        (name[1] != 'O' && name[1] != 'o') || (name[2] != 'M' && name[2] != 'm'))
        return 0;
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9' || n > 1000)
            return 0;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 255)
        return 0;
    if (path) {
        std::string_view p = trim(t.substr(eq + 1));
        size_t hash = p.find(" #");
        if (hash == std::string_view::npos)
            hash = p.find("\t#");
        if (hash != std::string_view::npos)
            p = trim(p.substr(0, hash));
        *path = p;
    }
    return n;
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

std::string defaultPortMapPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/serilon/ports.conf";
    const char* home = std::getenv("HOME");
    if (home && home[0])
        return std::string(home) + "/.config/serilon/ports.conf";
    return {};
}

std::string withPortEntry(std::string_view text, int port, std::string_view path) {
    const std::string entry = "COM" + std::to_string(port) + "=" + std::string(path);
    std::string out;
    bool placed = false;
    for (std::string_view line : splitLines(text)) {
        if (linePort(line, nullptr) == port) {
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
