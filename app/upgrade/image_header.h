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

// The run-time errors of reading an image, as the load reports them.
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrFileAlreadyOpen = 55;
inline constexpr int kErrDiskNotReady = 71;
inline constexpr int kErrPathNotFound = 76;

// Reads the header of the file at path. Nothing when the file is kImageHeaderSize bytes
// or shorter. Throws RunTimeError when the file cannot be opened or read (53 it does
// not exist, 76 a part of its path is not a directory, 71 the medium does not answer,
// 75 anything else, a directory or device included); the file is closed again in
// every case. (55, a file already open, cannot happen for reading here; the load's
// error handling still knows it.)
std::optional<ImageHeader> readImageHeader(const QString& path);

} // namespace tcu::upgrade
