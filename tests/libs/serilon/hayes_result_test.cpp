// The Hayes result parser: which lines end a dial, and how bytes become lines.
#include "libs/serilon/hayes_result.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using serilon::classifyHayesLine;
using serilon::HayesLineReader;
using serilon::HayesResult;

TEST(HayesResult, VerboseAndNumericCodes) {
    EXPECT_EQ(classifyHayesLine("OK"), HayesResult::Ok);
    EXPECT_EQ(classifyHayesLine("  ok "), HayesResult::Ok);
    EXPECT_EQ(classifyHayesLine("CONNECT"), HayesResult::Connect);
    EXPECT_EQ(classifyHayesLine("CONNECT 9600"), HayesResult::Connect);
    EXPECT_EQ(classifyHayesLine("CONNECT 33600/ARQ"), HayesResult::Connect);
    EXPECT_EQ(classifyHayesLine("CONNECTED"), HayesResult::None);
    EXPECT_EQ(classifyHayesLine("NO CARRIER"), HayesResult::NoCarrier);
    EXPECT_EQ(classifyHayesLine("BUSY"), HayesResult::Busy);
    EXPECT_EQ(classifyHayesLine("NO DIALTONE"), HayesResult::NoDialtone);
    EXPECT_EQ(classifyHayesLine("NO DIAL TONE"), HayesResult::NoDialtone);
    EXPECT_EQ(classifyHayesLine("NO ANSWER"), HayesResult::NoAnswer);
    EXPECT_EQ(classifyHayesLine("ERROR"), HayesResult::Error);
    EXPECT_EQ(classifyHayesLine("RING"), HayesResult::Ring);
    // Numeric results (V0).
    EXPECT_EQ(classifyHayesLine("0"), HayesResult::Ok);
    EXPECT_EQ(classifyHayesLine("1"), HayesResult::Connect);
    EXPECT_EQ(classifyHayesLine("3"), HayesResult::NoCarrier);
    EXPECT_EQ(classifyHayesLine("7"), HayesResult::Busy);
    EXPECT_EQ(classifyHayesLine("12"), HayesResult::Connect);
    EXPECT_EQ(classifyHayesLine("9"), HayesResult::None);
    EXPECT_EQ(classifyHayesLine("99999999999"), HayesResult::None); // no overflow
    // Echo and text are not results.
    EXPECT_EQ(classifyHayesLine("ATDT5551234"), HayesResult::None);
    EXPECT_EQ(classifyHayesLine(""), HayesResult::None);
    EXPECT_TRUE(serilon::isFailureResult(HayesResult::Busy));
    EXPECT_FALSE(serilon::isFailureResult(HayesResult::Ring));
    EXPECT_FALSE(serilon::isFailureResult(HayesResult::Ok));
}

TEST(HayesResult, ReaderCutsLinesAcrossFeeds) {
    HayesLineReader reader;
    std::vector<std::string> lines;
    auto add = [&](std::string_view l) { lines.emplace_back(l); };
    const std::string a = "\r\nOK\r\n\r\nCONN";
    const std::string b = "ECT 96";
    const std::string c = "00\r\n";
    reader.feed(reinterpret_cast<const uint8_t*>(a.data()), a.size(), add);
    EXPECT_EQ(reader.state(), HayesLineReader::State::InLine);
    reader.feed(reinterpret_cast<const uint8_t*>(b.data()), b.size(), add);
    reader.feed(reinterpret_cast<const uint8_t*>(c.data()), c.size(), add);
    const std::string c2("RI\0NG\n", 6);
    reader.feed(reinterpret_cast<const uint8_t*>(c2.data()), c2.size(), add);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "OK");
    EXPECT_EQ(lines[1], "CONNECT 9600");
    EXPECT_EQ(lines[2], "RING"); // the NUL inside a line is dropped
    EXPECT_EQ(reader.state(), HayesLineReader::State::LineStart);
}

TEST(HayesResult, OverlongLineIsCutOnceAndTheNextLineIsWhole) {
    HayesLineReader reader;
    std::vector<std::string> lines;
    const std::string text = std::string(200, 'x') + "\r\nBUSY\r\n";
    reader.feed(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                [&](std::string_view l) { lines.emplace_back(l); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), HayesLineReader::kMaxLine);
    EXPECT_EQ(lines[1], "BUSY");
    EXPECT_STREQ(HayesLineReader::stateName(HayesLineReader::State::Overlong), "overlong");
}
