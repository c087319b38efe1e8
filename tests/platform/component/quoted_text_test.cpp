#include <gtest/gtest.h>

#include "platform/component/quoted_text.h"

using namespace vort::component;

namespace {

std::u16string roundTripText(const std::u16string& in) {
    std::string q = quoteText(in);
    size_t pos = 0;
    std::u16string out;
    std::string err;
    EXPECT_TRUE(unquoteText(q, pos, out, err)) << err << " in " << q;
    EXPECT_EQ(pos, q.size());
    return out;
}

TEST(QuotedText, EveryUtf16CodeUnitRoundTrips) {
    // All code units, lone surrogates included, then valid pairs and tricky neighbours.
    std::u16string all;
    for (uint32_t c = 0; c <= 0xFFFF; ++c)
        all.push_back(static_cast<char16_t>(c));
    EXPECT_EQ(roundTripText(all), all);
    std::u16string pairs = u"\U0001F600x\U0010FFFF\"\\\n\r\t";
    pairs += char16_t(0xDC00);
    pairs += char16_t(0xD800);
    EXPECT_EQ(roundTripText(pairs), pairs);
    // The written form is readable: no raw control characters, quotes escaped.
    std::string q = quoteText(u"a\"b\\c\nd\x01\u00e9");
    EXPECT_EQ(q, "\"a\\\"b\\\\c\\nd\\u0001\xC3\xA9\"");
}

TEST(QuotedText, EveryByteStringRoundTrips) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    all += "/usr/lib/\xC3\xA9t\xC3\xA9/x.so\xFF\xC3";
    std::string q = quoteBytes(all);
    size_t pos = 0;
    std::string out, err;
    ASSERT_TRUE(unquoteBytes(q, pos, out, err)) << err;
    EXPECT_EQ(out, all);
    // Valid UTF-8 stays readable; stray bytes are escaped.
    EXPECT_EQ(quoteBytes("\xC3\xA9\xFF"), "\"\xC3\xA9\\xFF\"");
}

TEST(QuotedText, MalformedInputIsAnErrorWithItsOffset) {
    struct Case {
        std::string in;
        const char* says;
    } cases[] = {
        {"abc", "expected a quoted text"},
        {"\"abc", "unterminated"},
        {"\"abc\\", "unterminated"},
        {"\"a\\q\"", "unknown escape"},
        {"\"a\\u12\"", "malformed"},
        {"\"a\\u12G4\"", "malformed"},
        {"\"a\\x41\"", "not allowed"},
        {"\"a\nb\"", "control character"},
        {"\"a\xFF\"", "invalid UTF-8"},
        {"\"\xED\xA0\x80\"", "invalid UTF-8"}, // an encoded surrogate
        {"\"\xC0\x80\"", "invalid UTF-8"},     // an overlong NUL
    };
    for (const Case& c : cases) {
        size_t pos = 0;
        std::u16string out;
        std::string err;
        EXPECT_FALSE(unquoteText(c.in, pos, out, err)) << c.in;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.in << " -> " << err;
        EXPECT_NE(err.find("offset"), std::string::npos) << err;
    }
    size_t pos = 0;
    std::string out, err;
    EXPECT_FALSE(unquoteBytes("\"\\u0041\"", pos, out, err));
}

TEST(QuotedText, Utf8SequenceLengthIsStrict) {
    EXPECT_EQ(utf8SequenceLength("A", 0), 1u);
    EXPECT_EQ(utf8SequenceLength("\xC3\xA9", 0), 2u);
    EXPECT_EQ(utf8SequenceLength("\xE2\x82\xAC", 0), 3u);
    EXPECT_EQ(utf8SequenceLength("\xF4\x8F\xBF\xBF", 0), 4u);
    EXPECT_EQ(utf8SequenceLength("\xF4\x90\x80\x80", 0), 0u); // above U+10FFFF
    EXPECT_EQ(utf8SequenceLength("\xE0\x80\x80", 0), 0u);     // overlong
    EXPECT_EQ(utf8SequenceLength("\xC3", 0), 0u);             // cut short
    EXPECT_EQ(utf8SequenceLength("\x80", 0), 0u);             // a lone continuation
    EXPECT_EQ(utf8SequenceLength("A", 1), 0u);                // past the end
}

} // namespace
