#include "libs/serilon/device_locks.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/files/regular_file.h"

namespace serilon {

namespace {

// /proc/locks of a busy server is a few hundred lines.
constexpr std::size_t kMaxLocksBytes = 4 << 20;

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            out.push_back(line.substr(start, i - start));
        }
    }
    return out;
}

// Parses digits of base (16 or 10) filling the whole of s.
std::optional<std::uint64_t> number(std::string_view s, int base) {
    if (s.empty() || s.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        if (v > (UINT64_MAX - d) / base) {
            return std::nullopt;
        }
        v = v * base + d;
    }
    return v;
}

// "major:minor:inode", the device numbers in hex.
std::optional<LockedFile> lockedFile(std::string_view field) {
    const std::size_t a = field.find(':');
    const std::size_t b = a == std::string_view::npos ? a : field.find(':', a + 1);
    if (b == std::string_view::npos) {
        return std::nullopt;
    }
    const auto major = number(field.substr(0, a), 16);
    const auto minor = number(field.substr(a + 1, b - a - 1), 16);
    const auto inode = number(field.substr(b + 1), 10);
    if (!major || !minor || !inode || *major > 0xFFFFFFFFu || *minor > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    return LockedFile{unsigned(*major), unsigned(*minor), *inode};
}

} // namespace

std::vector<LockedFile> parseProcLocks(std::string_view text) {
    std::vector<LockedFile> out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::vector<std::string_view> w = words(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        // "N:" [ "->" ] type mode access pid file start end
        std::size_t i = 1;
        if (w.size() > 1 && w[1] == "->") {
            ++i;
        }
        if (w.size() < i + 5 || w[0].empty() || w[0].back() != ':') {
            continue;
        }
        if (const auto file = lockedFile(w[i + 4])) {
            out.push_back(*file);
        }
    }
    return out;
}

std::vector<LockedFile> readProcLocks() {
    // /proc files report a size of 0: read with a limit instead.
    const int fd = ::open("/proc/locks", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string text;
    char buf[8192];
    while (text.size() < kMaxLocksBytes) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(buf, std::size_t(n));
    }
    ::close(fd);
    return parseProcLocks(text);
}

bool lockedByInode(const std::vector<LockedFile>& locks, const std::string& node) {
    struct stat st {};
    if (locks.empty() || ::stat(node.c_str(), &st) != 0) {
        return false;
    }
    const LockedFile file{::major(st.st_dev), ::minor(st.st_dev), std::uint64_t(st.st_ino)};
    for (const LockedFile& lock : locks) {
        if (lock == file) {
            return true;
        }
    }
    return false;
}

std::optional<long> parseUucpLockPid(std::string_view content) {
    std::string_view s = content;
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    std::size_t digits = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') {
        ++digits;
    }
    const std::string_view rest = s.substr(digits);
    if (digits > 0 && digits <= 10 && (rest.empty() || rest == "\n")) {
        const auto pid = number(s.substr(0, digits), 10);
        if (pid && *pid > 0 && *pid <= 0x7FFFFFFF) {
            return long(*pid);
        }
        return std::nullopt;
    }
    if (content.size() == sizeof(std::int32_t)) {
        std::int32_t pid;
        std::memcpy(&pid, content.data(), sizeof pid);
        if (pid > 0) {
            return long(pid);
        }
    }
    return std::nullopt;
}

bool uucpLocked(const std::string& node, const std::vector<std::string>& dirs) {
    const std::size_t slash = node.rfind('/');
    const std::string name = slash == std::string::npos ? node : node.substr(slash + 1);
    if (name.empty()) {
        return false;
    }
    for (const std::string& dir : dirs) {
        const vort::files::ReadResult r = vort::files::readRegularFile(dir + "/LCK.." + name, 64);
        if (r.outcome != vort::files::ReadOutcome::Read) {
            continue;
        }
        const auto pid = parseUucpLockPid(r.text);
        if (pid && (::kill(pid_t(*pid), 0) == 0 || errno == EPERM)) {
            return true;
        }
    }
    return false;
}

const std::vector<std::string>& uucpLockDirs() {
    static const std::vector<std::string> dirs{"/var/lock", "/run/lock"};
    return dirs;
}

} // namespace serilon
