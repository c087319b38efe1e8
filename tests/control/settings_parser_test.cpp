#include <gtest/gtest.h>

#include "control/port/handshaking.h"
#include "control/port/settings_parser.h"

using vort::formatLineSettings;
using vort::LineSettings;
using vort::parseLineSettings;

namespace {

// Parses over the default settings and returns the stored form, or "fail".
std::string parsed(std::string_view text, uint32_t maxBaud = 0) {
    LineSettings s;
    return parseLineSettings(text, s, maxBaud) ? formatLineSettings(s) : "fail";
}

} // namespace

TEST(LineSettingsText, NormalisesCaseAndStopBits) {
    EXPECT_EQ(parsed("9600,e,7,2"), "9600,E,7,2");
    EXPECT_EQ(parsed("110,N,5,1.5"), "110,N,5,2");
    EXPECT_EQ(parsed("9600,N,8,1.5"), "9600,N,8,1");
    EXPECT_EQ(parsed("  9600,N,8,1"), "9600,N,8,1");
    EXPECT_EQ(parsed("115200,s,6,1"), "115200,S,6,1");
}

TEST(LineSettingsText, RejectsBadFieldsAndLeavesValuesUnchanged) {
    LineSettings s{9600, 'E', 7, 2};
    const LineSettings before = s;
    for (const char* bad : {"9600,X,8,1", "9600,,8,1", "9600,N,9,1", "9600,N,4,1", "9600,N,8,3",
                            "9600,N,8,0", "", ",,,"}) {
        EXPECT_FALSE(parseLineSettings(bad, s)) << bad;
        EXPECT_EQ(s, before) << bad;
    }
}

TEST(LineSettingsText, MissingFieldsKeepThePreloadedValues) {
    LineSettings s{9600, 'E', 7, 2};
    ASSERT_TRUE(parseLineSettings("19200", s));
    EXPECT_EQ(formatLineSettings(s), "19200,E,7,2");
    ASSERT_TRUE(parseLineSettings("4800,o", s));
    EXPECT_EQ(formatLineSettings(s), "4800,O,7,2");
    // An empty field is skipped, so "1.5" lands in the data-bits field and fails.
    LineSettings five{300, 'N', 5, 1};
    EXPECT_FALSE(parseLineSettings("300,N,,1.5", five));
}

TEST(LineSettingsText, OnlyTheFirst29CharactersCount) {
    // 29 characters end inside the stop-bit field's padding: still valid.
    EXPECT_EQ(parsed("9600,N,8,1                   garbage"), "9600,N,8,1");
    // A bad parity after character 29 is never seen.
    EXPECT_EQ(parsed("00000000000000000000009600,N,X"), "9600,N,8,1");
    // A fifth field is ignored.
    EXPECT_EQ(parsed("9600,N,8,1,Z"), "9600,N,8,1");
}

TEST(LineSettingsText, BaudReading) {
    EXPECT_EQ(parsed("abc,N,8,1"), "0,N,8,1");         // no digits: 0, unchecked while closed
    EXPECT_EQ(parsed("-5,N,8,1"), "0,N,8,1");          // a sign never wraps to a huge rate
    EXPECT_EQ(parsed("9600baud,N,8,1"), "9600,N,8,1"); // stops at the first non-digit
    EXPECT_EQ(parsed("9600,N,8,1.25"), "9600,N,8,1");  // so does the stop-bit field
    EXPECT_EQ(parsed("99999999999999999999,N,8,1"), "4294967295,N,8,1");
    // With the port open the baud must be 1..maximum.
    EXPECT_EQ(parsed("0,N,8,1", 115200), "fail");
    EXPECT_EQ(parsed("230400,N,8,1", 115200), "fail");
    EXPECT_EQ(parsed("115200,N,8,1", 115200), "115200,N,8,1");
}

TEST(Handshaking, FlagsBothWays) {
    using namespace vort;
    const int32_t written[] = {0x00, 0x80, 0x10, 0x90, 0x20, 0xA0};
    for (int16_t h = 0; h <= 5; ++h) {
        EXPECT_EQ(flowFlagsFor(h), written[h]);
        EXPECT_EQ(handshakingFor(written[h]), h);
    }
    EXPECT_EQ(flowFlagsFor(6), 0);
    EXPECT_EQ(flowFlagsFor(-1), 0);
    EXPECT_EQ(handshakingFor(0x30), kHandshakeRts); // RTS/CTS wins over DTR/DSR
    EXPECT_EQ(handshakingFor(0xB0), kHandshakeRtsXOnXOff);
}
