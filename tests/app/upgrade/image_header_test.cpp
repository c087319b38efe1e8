// The header fields of an image file, and which files are no image at all.
#include "app/upgrade/image_header.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/link/run_time_error.h"

namespace tcu::upgrade {
namespace {

// A header with the four fields in place; size the file's length.
QByteArray image(qsizetype size, const QByteArray& version = "3.30   ") {
    QByteArray bytes(size, '.');
    auto put = [&](int position, const QByteArray& text) {
        bytes.replace(position - 1, text.size(), text);
    };
    put(49, "00123456");
    put(65, "BEEF");
    put(81, version);
    put(97, "Dec 07 2026");
    return bytes.left(size);
}

QString write(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

TEST(ImageHeaderTest, FieldsComeFromTheirPositionsWithABlankInFront) {
    const ImageHeader h = parseImageHeader(image(108));
    EXPECT_EQ(h.codeSize, QStringLiteral(" 00123456"));
    EXPECT_EQ(h.crc16, QStringLiteral(" BEEF"));
    EXPECT_EQ(h.version, QStringLiteral(" 3.30   "));
    EXPECT_EQ(h.date, QStringLiteral(" Dec 07 2026"));
    // Bytes above 0x7F are one character each.
    EXPECT_EQ(parseImageHeader(image(108, "3.\xe9    ")).version, QStringLiteral(" 3.\u00e9    "));
}

TEST(ImageHeaderTest, OnlyFilesLongerThanTheHeaderAreImages) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(readImageHeader(write(dir, "108.bin", image(108))).has_value());
    EXPECT_FALSE(readImageHeader(write(dir, "empty.bin", QByteArray())).has_value());
    const auto h = readImageHeader(write(dir, "109.bin", image(109)));
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->version, QStringLiteral(" 3.30   "));
    EXPECT_EQ(h->date, QStringLiteral(" Dec 07 2026"));
}

TEST(ImageHeaderTest, MissingOrUnreadableFilesRaiseErrors) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    try {
        readImageHeader(dir.filePath(QStringLiteral("none.bin")));
        ADD_FAILURE() << "no error for a missing file";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), 53);
    }
    EXPECT_THROW(readImageHeader(dir.path()), RunTimeError) << "a directory is no file";
}

} // namespace
} // namespace tcu::upgrade
