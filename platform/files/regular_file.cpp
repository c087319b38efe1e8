#include "platform/files/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vort::files {

namespace {

ReadResult failed(ReadOutcome outcome, const std::string& path, std::string reason, int err) {
    ReadResult r;
    r.outcome = outcome;
    r.failure = FileFailure{path, std::move(reason), err};
    return r;
}

ReadResult systemFailure(const std::string& path, int err) {
    return failed(err == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed, path,
                  std::strerror(err), err);
}

} // namespace

std::string fileKindText(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG:
        return "a regular file";
    case S_IFDIR:
        return "a directory";
    case S_IFIFO:
        return "a FIFO (named pipe)";
    case S_IFCHR:
        return "a character device";
    case S_IFBLK:
        return "a block device";
    case S_IFSOCK:
        return "a socket";
    case S_IFLNK:
        return "a symbolic link";
    default:
        return "not a file";
    }
}

std::string notRegularReason(mode_t mode) {
    return fileKindText(mode) + ", not a regular file";
}

ReadResult readRegularFile(const std::string& path, std::size_t limit) {
    // Looked at before opening: opening a terminal device alone can change its lines.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return systemFailure(path, errno);
    if (!S_ISREG(st.st_mode))
        return failed(ReadOutcome::Failed, path, notRegularReason(st.st_mode), 0);
    // Opened without waiting, and looked at again: the path may have changed meanwhile.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return systemFailure(path, errno);
    ReadResult r;
    if (::fstat(fd, &st) != 0) {
        r = systemFailure(path, errno);
    } else if (!S_ISREG(st.st_mode)) {
        r = failed(ReadOutcome::Failed, path, notRegularReason(st.st_mode), 0);
    } else {
        r.outcome = ReadOutcome::Read;
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                r = systemFailure(path, errno);
                break;
            }
            if (n == 0)
                break;
            const std::size_t room = limit - r.text.size();
            if (static_cast<std::size_t>(n) > room) {
                r.text.append(buffer, room);
                r.truncated = true;
                break;
            }
            r.text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return r;
}

} // namespace vort::files
