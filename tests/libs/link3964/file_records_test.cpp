#include <gtest/gtest.h>

#include "libs/link3964/file_records.h"

namespace link3964 {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FileRecords, RoundTrip) {
    auto name = decodeFileRecord(encodeNameRecord(0x1122334455667788ull, "report.bin"));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->kind, kFileRecordName);
    EXPECT_EQ(name->value, 0x1122334455667788ull);
    EXPECT_EQ(name->name, "report.bin");

    Bytes data(kFileDataMax, 0xAB);
    Bytes encoded = encodeDataRecord(1u << 20, data);
    auto d = decodeFileRecord(encoded);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->value, 1u << 20);
    EXPECT_EQ(Bytes(d->data.begin(), d->data.end()), data);

    auto e = decodeFileRecord(encodeEndRecord(12345, 0xDEADBEEF));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, kFileRecordEnd);
    EXPECT_EQ(e->value, 12345u);
    EXPECT_EQ(e->crc, 0xDEADBEEFu);
}

TEST(FileRecords, RejectsMalformedTelegrams) {
    EXPECT_FALSE(decodeFileRecord(Bytes{}));
    EXPECT_FALSE(decodeFileRecord(Bytes{'X', 1, 2, 3}));
    EXPECT_FALSE(decodeFileRecord(encodeNameRecord(1, ""))) << "a name is required";
    EXPECT_FALSE(decodeFileRecord(encodeNameRecord(1, std::string(256, 'n'))));
    Bytes wrongVersion = encodeNameRecord(1, "a");
    wrongVersion[1] = 2;
    EXPECT_FALSE(decodeFileRecord(wrongVersion));
    EXPECT_FALSE(decodeFileRecord(encodeDataRecord(0, {}))) << "a data record carries data";
    EXPECT_FALSE(decodeFileRecord(encodeDataRecord(0, Bytes(kFileDataMax + 1, 1))));
    Bytes end = encodeEndRecord(1, 2);
    end.pop_back();
    EXPECT_FALSE(decodeFileRecord(end));
}

TEST(FileRecords, ReceivedNamesAreConfinedToTheirLastComponent) {
    EXPECT_EQ(confineReceivedName("data.bin"), "data.bin");
    EXPECT_EQ(confineReceivedName("/etc/passwd"), "passwd");
    EXPECT_EQ(confineReceivedName("..\\..\\boot.ini"), "boot.ini");
    EXPECT_EQ(confineReceivedName("a/b/../c"), "c");
    EXPECT_FALSE(confineReceivedName(".."));
    EXPECT_FALSE(confineReceivedName("dir/.."));
    EXPECT_FALSE(confineReceivedName("."));
    EXPECT_FALSE(confineReceivedName("dir/"));
    EXPECT_FALSE(confineReceivedName(""));
    EXPECT_FALSE(confineReceivedName(std::string("a\0b", 3)));
    EXPECT_FALSE(confineReceivedName("line\nbreak"));
    EXPECT_EQ(confineReceivedName("caf\xe9.txt"), "caf\xe9.txt") << "ISO-8859-1 names pass";
}

} // namespace
} // namespace link3964
