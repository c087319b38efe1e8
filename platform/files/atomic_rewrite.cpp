#include "platform/files/atomic_rewrite.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vort::files {

namespace {

// Links followed before a chain counts as a loop (the kernel's own limit).
constexpr int kMaxLinks = 40;
// Random names tried before giving up on creating the temporary file.
constexpr int kMaxTempNames = 100;

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool fail(FileFailure& failure, const std::string& path, int err) {
    failure = FileFailure{path, std::strerror(err), err};
    return false;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Creates "<dir>/.<name>.<random>" exclusively; the descriptor, or -1 with errno set.
int createTemporary(const std::string& target, mode_t mode, std::string& tempPath) {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    const std::string stem = directoryOf(target) + "/." + baseNameOf(target) + ".";
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < kMaxTempNames; ++attempt) {
        tempPath = stem;
        for (int i = 0; i < 8; ++i)
            tempPath += kLetters[generator() % (sizeof kLetters - 1)];
        const int fd =
            ::open(tempPath.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::string rewriteTarget(const std::string& path, FileFailure& failure) {
    std::string target = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        if (links == kMaxLinks) {
            fail(failure, path, ELOOP);
            return {};
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<size_t>(n) >= link.size()) {
            fail(failure, target, n < 0 ? errno : ENAMETOOLONG);
            return {};
        }
        link.resize(static_cast<size_t>(n));
        target = link.front() == '/' ? link : directoryOf(target) + "/" + link;
    }
}

bool rewriteFile(const std::string& path, std::string_view data, FileFailure& failure,
                 const RewriteOptions& options) {
    const std::string target = rewriteTarget(path, failure);
    if (target.empty())
        return false;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return fail(failure, target, errno);
    if (exists && !S_ISREG(old.st_mode)) {
        failure = FileFailure{target, notRegularReason(old.st_mode), 0};
        return false;
    }
    // A file the caller may not write is not replaced behind its back.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return fail(failure, target, errno);

    std::string temp;
    const int fd = createTemporary(target, exists ? 0600 : options.newFileMode, temp);
    if (fd < 0)
        return fail(failure, target, errno);
    int err = 0;
    if (!writeAll(fd, data))
        err = errno;
    if (!err && exists && ::geteuid() == 0 && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        err = errno;
    // After the owner: a change of owner clears the set-id bits.
    const mode_t mode = (exists ? old.st_mode : options.newFileMode) & 07777;
    if (!err && (exists || options.exactNewMode) && ::fchmod(fd, mode) != 0)
        err = errno;
    if (!err && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(temp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.c_str());
        return fail(failure, target, err);
    }
    // Makes the rename itself durable; a failure here loses nothing already visible.
    const int dir = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace vort::files
