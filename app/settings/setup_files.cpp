// Setup files: the core's setup as a file of setup records, and back; and the window's
// "&Save SetUp As..." and "&Open Setup..." over them.
#include <QApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "app/forms/form1.h"
#include "app/link/run_time_error.h"
#include "app/settings/apply_setup_token.h"
#include "app/settings/split_records.h"
#include "platform/dialogs/dialogs.h"
#include "platform/files/atomic_rewrite.h"

namespace tcu {

namespace {

FileError systemError(int number) {
    return FileError{number, QString::fromLocal8Bit(std::strerror(number))};
}

vort::dialogs::FileDialogResult askForFile(QWidget* owner, bool save) {
    vort::dialogs::FileDialogRequest request;
    request.save = save;
    request.title = QStringLiteral("Select a TXT file");
    request.filters = {QStringLiteral("All files|*.*"), QStringLiteral("Text Files (*.txt)|*.txt")};
    request.filterIndex = 2;
    // Opening takes only a file that exists; saving takes a new name too, and replaces
    // an existing file without asking.
    request.mustExist = !save;
    request.confirmOverwrite = false;
    request.owner = owner;
    return vort::dialogs::dialogs().fileDialog(request);
}

void showFileError(QWidget* owner, const FileError& error) {
    QApplication::restoreOverrideCursor();
    vort::dialogs::MessageBoxRequest box;
    box.text = QStringLiteral("Error # ") + QString::number(error.number) + QLatin1Char(' ') +
               error.description;
    box.title = QStringLiteral("Error");
    box.icon = vort::dialogs::Icon::Critical;
    box.buttons = vort::dialogs::Buttons::Ok;
    box.owner = owner;
    vort::dialogs::dialogs().messageBox(box);
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

void Form1::mnusave_Click() {
    const auto chosen = askForFile(this, true);
    if (chosen.cancelled || chosen.path.isEmpty())
        return;
    if (const auto error = core_->SaveSetupFile(chosen.path))
        showFileError(this, *error);
}

void Form1::mnuopen_Click() {
    const auto chosen = askForFile(this, false);
    if (chosen.cancelled || chosen.path.isEmpty())
        return;
    if (const auto error = core_->OpenSetupFile(chosen.path))
        showFileError(this, *error);
}

} // namespace tcu
