// Setup files: the core's setup as a file of setup records, and back (the window's
// menus over them are in setup_file_events.cpp).
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "app/core/program_core.h"
#include "app/link/run_time_error.h"
#include "app/settings/apply_setup_token.h"
#include "app/settings/split_records.h"
#include "platform/files/atomic_rewrite.h"

namespace tcu {

namespace {

FileError systemError(int number) {
    return FileError{number, QString::fromLocal8Bit(std::strerror(number))};
}

// Writes text to path, replacing the file in one step (a link stays a link, the file
// keeps its mode; a FIFO or a device is refused rather than written into). Every
// failure is an error: a setup file that did not reach the disk is never reported as
// saved.
std::optional<FileError> writeWhole(const QString& path, const std::string& text) {
    vort::files::FileFailure failure;
    if (vort::files::rewriteFile(QFile::encodeName(path).toStdString(), text, failure))
        return std::nullopt;
    if (failure.err != 0)
        return systemError(failure.err);
    return FileError{kErrPathFileAccess, QString::fromStdString(failure.text())};
}

// A setup file is a few hundred bytes; anything beyond this is not one (a device, a
// wrong pick) and is refused instead of being read without end.
constexpr size_t kMaxSetupFileSize = 16 * 1024 * 1024;

std::optional<FileError> readWhole(const QString& path, std::string& text) {
    const QByteArray name = path.toLocal8Bit();
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return systemError(errno);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return systemError(e);
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kMaxSetupFileSize) {
            ::close(fd);
            text.clear();
            return systemError(EFBIG);
        }
    }
    ::close(fd);
    return std::nullopt;
}

} // namespace

std::optional<FileError> ProgramCore::SaveSetupFile(const QString& path) {
    return writeWhole(path, settings::setupFileText(*setup_));
}

std::optional<FileError> ProgramCore::OpenSetupFile(const QString& path) {
    std::string text;
    if (auto error = readWhole(path, text))
        return error;
    settings::SplitRecords(
        text, [this](std::string_view token) { settings::ApplySetupToken(*setup_, token); });
    return std::nullopt;
}

} // namespace tcu
