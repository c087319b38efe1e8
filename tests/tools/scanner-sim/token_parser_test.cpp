// Cutting a frame's payload into command tokens.
#include <gtest/gtest.h>

#include "tools/scanner-sim/token_parser.h"

namespace scanner_sim {
namespace {

TEST(TokenParser, WritesAndQueries) {
    auto q = parseTokens("<SETPAR:>");
    ASSERT_TRUE(q.ok()) << q.error;
    ASSERT_EQ(q.tokens.size(), 1u);
    EXPECT_EQ(q.tokens[0].key, "SETPAR");
    EXPECT_TRUE(q.tokens[0].query);

    auto w = parseTokens("<RSBAUD=38400><RSPRTY=EVEN><RSDELY=>");
    ASSERT_TRUE(w.ok()) << w.error;
    ASSERT_EQ(w.tokens.size(), 3u);
    EXPECT_EQ(w.tokens[0].value, "38400");
    EXPECT_EQ(w.tokens[1].key, "RSPRTY");
    EXPECT_FALSE(w.tokens[1].query);
    EXPECT_EQ(w.tokens[2].value, "");
    EXPECT_EQ(parseTokens("<CD128E=1>").tokens.at(0).key, "CD128E"); // digits in keys
}

TEST(TokenParser, FreeTextKeepsAngleBracketsThatDoNotEndTheToken) {
    auto t = parseTokens("<PREFIX=a>b<c><PRECID=0><SUFFIX=[CR]>>");
    ASSERT_TRUE(t.ok()) << t.error;
    ASSERT_EQ(t.tokens.size(), 3u);
    EXPECT_EQ(t.tokens[0].value, "a>b<c");
    EXPECT_EQ(t.tokens[1].value, "0");
    EXPECT_EQ(t.tokens[2].value, "[CR]>");
    auto key = parseTokens("<REGKEY=AB>C>");
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(key.tokens[0].value, "AB>C");
    // A fixed value ends at its first '>': what follows must be a token.
    EXPECT_FALSE(parseTokens("<RSBITS=8>x>").ok());
}

TEST(TokenParser, MalformedPayloadsAreRefusedWhole) {
    for (const char* bad :
         {"", "x<SETPAR:>", "<SETPAR:>x", "<setpar:>", "<SETPA:>", "<SETPARX:>",
          "<SETPAR:", "<SETPAR>", "<RSBAUD=9600", "<RSBAUD=96<00>", "<RSBAUD=9600> <RSBITS=8>",
          "<PREFIX=abc", "<SETPAR:x>", "<<RSBAUD=9600>"}) {
        auto r = parseTokens(bad);
        EXPECT_FALSE(r.ok()) << "'" << bad << "'";
        EXPECT_TRUE(r.tokens.empty()) << "'" << bad << "'";
    }
}

} // namespace
} // namespace scanner_sim
