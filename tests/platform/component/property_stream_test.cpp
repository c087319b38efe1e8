#include <gtest/gtest.h>

#include "platform/component/binary_property_stream.h"
#include "platform/component/property_sample.h"

using namespace vort::component;
using vort_test::PropertySample;

namespace {

std::vector<uint8_t> save(PropertySample s) {
    BinaryPropertyStreamWriter w;
    s.exchange(w);
    EXPECT_FALSE(w.failed()) << w.error();
    return w.bytes();
}

TEST(BinaryPropertyStream, EveryTypeRoundTripsAtItsEdges) {
    for (PropertySample s : {PropertySample{}, PropertySample::extremes()}) {
        std::vector<uint8_t> bytes = save(s);
        BinaryPropertyStreamReader r(bytes);
        PropertySample back;
        back.exchange(r);
        EXPECT_FALSE(r.failed()) << r.error();
        EXPECT_EQ(back, s);
        EXPECT_EQ(r.consumed(), bytes.size());
    }
}

TEST(BinaryPropertyStream, LayoutIsLittleEndianWithMagicAndLength) {
    BinaryPropertyStreamWriter w;
    uint16_t major = 2, minor = 7;
    int16_t i2 = -2;
    int32_t i4 = 0x01020304;
    bool b = true;
    std::u16string t = u"A\u20ac";
    w.exchangeVersion(major, minor, 0, 0);
    w.exchange("A", i2, 0);
    w.exchange("B", i4, 0);
    w.exchange("C", b, false);
    w.exchange("D", t, u"");
    // clang-format off
    std::vector<uint8_t> expect = {
        'V', 'P', 'X', 'S', 1, 0, 24, 0, 0, 0,   // magic, format 1, body length 24
        1, 2, 0, 7, 0,                           // version 2.7
        2, 0xFE, 0xFF,                           // I2 -2
        3, 4, 3, 2, 1,                           // I4
        4, 1,                                    // BOOL true
        5, 2, 0, 0, 0, 0x41, 0, 0xAC, 0x20,      // text of two code units
    };
    // clang-format on
    EXPECT_EQ(w.bytes(), expect);
}

TEST(BinaryPropertyStream, ACutAtAnyByteIsAnErrorNeverACrash) {
    std::vector<uint8_t> full = save(PropertySample::extremes());
    for (size_t n = 0; n < full.size(); ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        // Also keep the header's length in step with the cut, so the body's own
        // items are what runs short.
        for (bool fixLength : {false, true}) {
            if (fixLength && n >= 10) {
                uint32_t len = static_cast<uint32_t>(n - 10);
                for (int i = 0; i < 4; ++i)
                    cut[6 + i] = static_cast<uint8_t>(len >> (8 * i));
            }
            BinaryPropertyStreamReader r(cut);
            PropertySample s;
            s.exchange(r);
            EXPECT_TRUE(r.failed()) << "cut at " << n;
            EXPECT_FALSE(r.error().empty());
        }
    }
}

TEST(BinaryPropertyStream, WrongContentIsNamedWithItsOffset) {
    std::vector<uint8_t> good = save(PropertySample{});
    auto loadError = [](std::vector<uint8_t> bytes) {
        BinaryPropertyStreamReader r(bytes);
        PropertySample s = PropertySample::extremes();
        s.exchange(r);
        EXPECT_TRUE(r.failed());
        return r.error();
    };
    std::vector<uint8_t> magic = good;
    magic[0] = 'X';
    EXPECT_NE(loadError(magic).find("wrong magic"), std::string::npos);
    std::vector<uint8_t> format = good;
    format[4] = 2;
    EXPECT_NE(loadError(format).find("format 2 is not supported"), std::string::npos);
    std::vector<uint8_t> tag = good;
    tag[15] = 3; // Small's tag: I4 where I2 is asked for
    EXPECT_NE(loadError(tag).find("Small at offset 15: expected I2, found I4"), std::string::npos)
        << loadError(tag);
    std::vector<uint8_t> boolean = good;
    boolean[24] = 2; // Flag's value
    EXPECT_NE(loadError(boolean).find("a BOOL must be 0 or 1"), std::string::npos)
        << loadError(boolean);
    std::vector<uint8_t> longText = good;
    longText[28] = 0xFF; // Text's length: far past the end, must not be allocated
    longText[29] = 0xFF;
    longText[30] = 0xFF;
    longText[31] = 0x7F;
    EXPECT_NE(loadError(longText).find("runs past the end"), std::string::npos)
        << loadError(longText);
}

TEST(BinaryPropertyStream, ExtraItemsAndTrailingHostDataAreLeftAlone) {
    // A newer writer appended a property; the host stores more data after the stream.
    BinaryPropertyStreamWriter w;
    PropertySample s = PropertySample::extremes();
    s.exchange(w);
    int32_t extra = 5;
    w.exchange("Extra", extra, 0);
    std::vector<uint8_t> bytes = w.bytes();
    size_t streamSize = bytes.size();
    bytes.insert(bytes.end(), {0xDE, 0xAD});
    BinaryPropertyStreamReader r(bytes);
    PropertySample back;
    back.exchange(r);
    EXPECT_FALSE(r.failed()) << r.error();
    EXPECT_EQ(back, s);
    EXPECT_EQ(r.consumed(), streamSize);
}

} // namespace
