#include "app/upgrade/image_header.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/link/run_time_error.h"

namespace tcu::upgrade {

namespace {

// A failed open or read as the run-time error the load's error handling knows.
RunTimeError fileError(int error) {
    switch (error) {
    case ENOENT:
        return RunTimeError(kErrFileNotFound, QStringLiteral("File not found"));
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return RunTimeError(kErrPathNotFound, QStringLiteral("Path not found"));
    case EIO:
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return RunTimeError(kErrDiskNotReady, QStringLiteral("Disk not ready"));
    default:
        return RunTimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
    }
}

// Closes the descriptor on every way out.
struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

QString field(const QByteArray& header, int position, int length) {
    return QLatin1Char(' ') + QString::fromLatin1(header.mid(position - 1, length));
}

} // namespace

ImageHeader parseImageHeader(const QByteArray& header) {
    return ImageHeader{field(header, 49, 8), field(header, 65, 4), field(header, 81, 7),
                       field(header, 97, 11)};
}

std::optional<ImageHeader> readImageHeader(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    // Non-blocking: a FIFO or a device picked in the dialog must not hang the open.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw fileError(errno);
    FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw fileError(errno);
    if (!S_ISREG(st.st_mode))
        throw RunTimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
    if (st.st_size <= kImageHeaderSize)
        return std::nullopt;
    QByteArray header(kImageHeaderSize, '\0');
    qsizetype done = 0;
    while (done < kImageHeaderSize) {
        const ssize_t n =
            ::read(fd, header.data() + done, static_cast<size_t>(kImageHeaderSize - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fileError(errno);
        if (n == 0) // shrunk since fstat
            throw RunTimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
        done += n;
    }
    return parseImageHeader(header);
}

} // namespace tcu::upgrade
