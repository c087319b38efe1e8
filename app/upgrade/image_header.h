// The text header at the start of a firmware image file, as the upload window shows it.
#pragma once

#include <QString>
#include <optional>

namespace tcu::upgrade {

// Bytes of the header; a file of this size or less is not an image and is not loaded.
inline constexpr qint64 kImageHeaderSize = 108;

// The shown fields, each a blank followed by its header bytes read one character a
// byte (1-based positions): code size 49..56, CRC-16 65..68 (hexadecimal digits),
// version 81..87, date 97..107. Nothing else in the header is interpreted.
struct ImageHeader {
    QString codeSize;
    QString crc16;
    QString version;
    QString date;
};

// The fields of a header's bytes; fewer than kImageHeaderSize bytes give fewer
// characters.
ImageHeader parseImageHeader(const QByteArray& header);

// Reads the header of the file at path. Nothing when the file is kImageHeaderSize bytes
// or shorter. Throws RunTimeError (53 file not found, 75 access error) when the file
// cannot be opened or read; the file is closed again in every case.
std::optional<ImageHeader> readImageHeader(const QString& path);

} // namespace tcu::upgrade
