// Numbers read from the program's texts: the port number rule and 16-bit conversion.
#include "app/link/text_numbers.h"

#include <gtest/gtest.h>

#include "app/link/run_time_error.h"

namespace tcu {
namespace {

TEST(TextNumbersTest, PortNumbersAreExactlyOneToSixAsNumbers) {
    for (const char* ok : {"1", "6", " 3 ", "+2", "2.0", "4e0", "0.5e1"})
        EXPECT_TRUE(portNumberOf(ok).has_value()) << ok;
    EXPECT_EQ(*portNumberOf("2.0"), 2);
    for (const char* bad : {"", " ", "0", "7", "-1", "2.5", "1,0", "1x", "x1", "0x1", "inf", "nan",
                            "1e400", ".", "e1"})
        EXPECT_FALSE(portNumberOf(bad).has_value()) << bad;
}

TEST(TextNumbersTest, LeadingNumberReadsWhatStartsTheText) {
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber("12abc"), 12);
    EXPECT_EQ(leadingNumber("  3;"), 3);
    EXPECT_EQ(leadingNumber("2.5x"), 2.5);
    EXPECT_EQ(leadingNumber("-4"), -4);
    EXPECT_EQ(leadingNumber("1e400"), 0) << "out of range counts as no number";
}

TEST(TextNumbersTest, SixteenBitConversionRoundsHalfToEvenAndRaisesItsErrors) {
    EXPECT_EQ(toInteger16(" 322"), 322);
    EXPECT_EQ(toInteger16("2.5"), 2);
    EXPECT_EQ(toInteger16("3.5"), 4);
    EXPECT_EQ(toInteger16("-32768"), -32768);
    EXPECT_EQ(toInteger16("32767.4"), 32767);
    auto number = [](const char* text) {
        try {
            toInteger16(text);
        } catch (const RunTimeError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number("32768"), kErrOverflow);
    EXPECT_EQ(number("-32769"), kErrOverflow);
    EXPECT_EQ(number(" V.0"), kErrTypeMismatch);
    EXPECT_EQ(number(" "), kErrTypeMismatch);
    EXPECT_EQ(number(" 3\r\n"), kErrTypeMismatch);
}

} // namespace
} // namespace tcu
