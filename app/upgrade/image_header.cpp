#include "app/upgrade/image_header.h"

#include <QFile>
#include <QFileInfo>

#include "app/link/run_time_error.h"

namespace tcu::upgrade {

namespace {

constexpr int kErrFileNotFound = 53;
constexpr int kErrPathFileAccess = 75;

QString field(const QByteArray& header, int position, int length) {
    return QLatin1Char(' ') + QString::fromLatin1(header.mid(position - 1, length));
}

} // namespace

ImageHeader parseImageHeader(const QByteArray& header) {
    return ImageHeader{field(header, 49, 8), field(header, 65, 4), field(header, 81, 7),
                       field(header, 97, 11)};
}

std::optional<ImageHeader> readImageHeader(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile())
        throw RunTimeError(kErrFileNotFound, QStringLiteral("File not found"));
    if (!file.open(QIODevice::ReadOnly))
        throw RunTimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
    if (file.size() <= kImageHeaderSize)
        return std::nullopt;
    const QByteArray header = file.read(kImageHeaderSize);
    if (header.size() != kImageHeaderSize)
        throw RunTimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
    return parseImageHeader(header);
}

} // namespace tcu::upgrade
