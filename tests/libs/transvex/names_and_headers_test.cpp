// Received names, block-0 / ZFILE headers, the call's file-name suffix and the record.
#include "libs/transvex/file_record.h"
#include "libs/transvex/file_sink.h"
#include "libs/transvex/ymodem_header.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace transvex {
namespace {

std::span<const uint8_t> view(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(ReceivedName, ReducedToLastComponentOrRefused) {
    EXPECT_EQ(confineReceivedName("file.bin"), "file.bin");
    EXPECT_EQ(confineReceivedName("dir/sub/file.bin"), "file.bin");
    EXPECT_EQ(confineReceivedName("dir\\file.bin"), "file.bin");
    EXPECT_EQ(confineReceivedName("..hidden"), "..hidden");
    for (const char* bad : {"", "/etc/passwd", "\\x", "C:x", "c:\\win\\x", "..", "../x", "a/../b",
                            "a\\..\\b", "dir/", ".", "a/.", "tab\there", "del\x7f"}) {
        EXPECT_FALSE(confineReceivedName(bad).has_value()) << bad;
    }
    EXPECT_TRUE(confineReceivedName(std::string(511, 'n')).has_value());
    EXPECT_FALSE(confineReceivedName(std::string(512, 'n')).has_value());
}

TEST(FileHeader, ParsesFieldsAndRejectsBadSizes) {
    auto p = parseFileHeader(view(std::string("name.txt\0"
                                              "1234 14376456740 100644 0 1 1234\0",
                                              42)));
    ASSERT_EQ(p.result, ParsedFileHeader::Result::Ok);
    EXPECT_EQ(p.header.name, "name.txt");
    EXPECT_EQ(p.header.size, 1234u);
    EXPECT_EQ(p.header.mtime, 014376456740);
    EXPECT_EQ(p.header.mode, 0100644u);

    p = parseFileHeader(view(std::string("only-name\0\0\0", 12)));
    ASSERT_EQ(p.result, ParsedFileHeader::Result::Ok);
    EXPECT_FALSE(p.header.size.has_value());

    p = parseFileHeader(view(std::string("x\0"
                                         "12 notoctal",
                                         13)));
    ASSERT_EQ(p.result, ParsedFileHeader::Result::Ok) << "a bad time is only left out";
    EXPECT_EQ(p.header.size, 12u);
    EXPECT_EQ(p.header.mtime, 0);

    for (const std::string bad : {std::string("x\0"
                                              "12a",
                                              5),
                                  std::string("x\0-5", 4),
                                  std::string("x\0"
                                              "99999999999999999999999",
                                              25),
                                  std::string("no terminator")}) {
        EXPECT_EQ(parseFileHeader(view(bad)).result, ParsedFileHeader::Result::Invalid) << bad;
    }
    EXPECT_EQ(parseFileHeader(view(std::string(128, '\0'))).result,
              ParsedFileHeader::Result::EndOfBatch);
}

TEST(FileHeader, BuiltHeaderParsesBackAndPadsToABlock) {
    const auto block = buildYmodemHeaderBlock("a.bin", 77, 1700000000, 0100600);
    ASSERT_EQ(block.size(), 128u);
    const auto p = parseFileHeader(block);
    ASSERT_EQ(p.result, ParsedFileHeader::Result::Ok);
    EXPECT_EQ(p.header.name, "a.bin");
    EXPECT_EQ(p.header.size, 77u);
    EXPECT_EQ(p.header.mtime, 1700000000);
    EXPECT_EQ(p.header.mode, 0100600u);
    EXPECT_EQ(buildYmodemHeaderBlock(std::string(200, 'n'), 1, 1, 0).size(), 1024u);
}

TEST(CallName, SuffixIsOptionsNeverPath) {
    char buf[XFER_NAME_SIZE] = "C:\\out\\fw.bin,ek,T5,X";
    auto n = parseCallName(buf);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(n->path, "C:/out/fw.bin");
    EXPECT_EQ(n->options, XFER_OPT_ESCAPE_CONTROL | XFER_OPT_1K_BLOCKS);
    EXPECT_EQ(n->silenceSeconds, 5);
    EXPECT_FALSE(n->keepExisting);
    char plain[XFER_NAME_SIZE] = "/tmp/a";
    EXPECT_EQ(parseCallName(plain)->path, "/tmp/a");
    char keep[XFER_NAME_SIZE] = "/tmp/a,P";
    EXPECT_TRUE(parseCallName(keep)->keepExisting);
    EXPECT_FALSE(parseCallName(nullptr).has_value());
    char full[XFER_NAME_SIZE];
    std::memset(full, 'a', sizeof full);
    EXPECT_FALSE(parseCallName(full).has_value());
}

TEST(Record, TimeRoundTripsThroughLocalTime) {
    XferFileInfo r = emptyRecord();
    setRecordTime(r, 1700000001);
    EXPECT_NE(r.month, 0);
    EXPECT_EQ(recordTime(r), 1700000001);
    setRecordTime(r, 0);
    EXPECT_EQ(r.month, 0);
    EXPECT_FALSE(recordTime(r).has_value());
    EXPECT_FALSE(setRecordName(r, std::string(600, 'x')));
    EXPECT_EQ(r.fileName[0], '\0');
    EXPECT_EQ(recordSize(0x100000005ull), 5);
}

TEST(FileSink, NeverWritesThroughASymlinkAndResumesAtItsLength) {
    test::ScratchDir dir;
    test::writeFile(dir / "target", {'o', 'l', 'd'});
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    FileSink sink;
    std::string error;
    EXPECT_FALSE(sink.open(dir / "link", FileSink::Mode::Replace, error));
    EXPECT_EQ(test::readFile(dir / "target"), (std::vector<uint8_t>{'o', 'l', 'd'}));

    ASSERT_TRUE(sink.open(dir / "target", FileSink::Mode::Resume, error));
    EXPECT_EQ(sink.length(), 3u);
    const std::vector<uint8_t> more = {'+', '1'};
    EXPECT_TRUE(sink.write(more));
    EXPECT_TRUE(sink.finish(1600000000));
    EXPECT_EQ(test::readFile(dir / "target"), (std::vector<uint8_t>{'o', 'l', 'd', '+', '1'}));
    EXPECT_EQ(test::fileMtime(dir / "target"), 1600000000);
}

} // namespace
} // namespace transvex
