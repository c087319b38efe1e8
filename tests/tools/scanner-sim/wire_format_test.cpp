// Byte escaping for logs and the control channel, SHA-256 of received images, and the
// line settings text.
#include <gtest/gtest.h>

#include <string>

#include "tools/scanner-sim/escape.h"
#include "tools/scanner-sim/line_settings.h"
#include "tools/scanner-sim/sha256.h"

namespace scanner_sim {
namespace {

TEST(Escape, EveryByteValueSurvivesTheRoundTripAsOneBlankFreeWord) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string escaped = escapeBytes(all);
    EXPECT_EQ(escaped.find(' '), std::string::npos);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(unescapeBytes(escaped), all);
    EXPECT_EQ(escapeBytes("\x01<RSBAUD=9600>\x04"), "\\x01<RSBAUD=9600>\\x04");
    EXPECT_EQ(escapeBytes("a b\\"), "a\\x20b\\\\");
}

TEST(Escape, ShortFormsAndMalformedEscapes) {
    EXPECT_EQ(unescapeBytes("A\\r\\n\\t\\s\\x41"), "A\r\n\t A");
    EXPECT_EQ(unescapeBytes("literal blanks ok"), "literal blanks ok");
    EXPECT_FALSE(unescapeBytes("\\"));
    EXPECT_FALSE(unescapeBytes("\\x4"));
    EXPECT_FALSE(unescapeBytes("\\xg0"));
    EXPECT_FALSE(unescapeBytes("\\q"));
}

TEST(Sha256, PublishedTestVectors) {
    auto hex = [](std::string_view s) {
        Sha256 h;
        h.update(s);
        return h.finishHex();
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, PiecesOfAnySizeGiveTheSameDigestAsOneUpdate) {
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data += static_cast<char>(i * 7 + 3);
    Sha256 whole;
    whole.update(data);
    const std::string expected = whole.finishHex();
    for (size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 999u}) {
        Sha256 h;
        for (size_t i = 0; i < data.size(); i += piece)
            h.update(std::string_view(data).substr(i, piece));
        EXPECT_EQ(h.finishHex(), expected) << "piece " << piece;
    }
    // A million 'a': the long vector crosses many blocks.
    Sha256 million;
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        million.update(chunk);
    EXPECT_EQ(million.finishHex(),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(LineSettingsText, ParsesScannerValuesOnly) {
    auto l = parseLineSettings("19200,e,7,2");
    ASSERT_TRUE(l);
    EXPECT_EQ(l->toString(), "19200,E,7,2");
    EXPECT_EQ(parseLineSettings("  9600 , N , 8 , 1")->toString(), "9600,N,8,1");
    EXPECT_FALSE(parseLineSettings("300,N,8,1"));  // not a scanner rate
    EXPECT_FALSE(parseLineSettings("9600,M,8,1")); // mark parity unknown to the scanner
    EXPECT_FALSE(parseLineSettings("9600,N,6,1"));
    EXPECT_FALSE(parseLineSettings("9600,N,8,3"));
    EXPECT_FALSE(parseLineSettings("9600,N,8"));
    EXPECT_FALSE(parseLineSettings("9600,N,8,1,1"));
    EXPECT_FALSE(parseLineSettings("96OO,N,8,1"));
}

TEST(LineSettingsText, CharacterTimeCountsStartParityAndStopBits) {
    LineSettings l;
    l.baud = 9600; // 10 bits a character
    EXPECT_EQ(l.charTimeNs(), 10ull * 1'000'000'000 / 9600);
    l.parity = 'E';
    l.stopBits = 2;
    l.dataBits = 7; // 1 + 7 + 1 + 2 = 11 bits
    EXPECT_EQ(l.charTimeNs(), 11ull * 1'000'000'000 / 9600);
    l.baud = 0;
    EXPECT_GT(l.charTimeNs(), 0u);
}

} // namespace
} // namespace scanner_sim
