#include <gtest/gtest.h>

#include "platform/component/property_sample.h"
#include "platform/component/text_property_bag.h"

using namespace vort::component;
using vort_test::PropertySample;

namespace {

std::string save(PropertySample s) {
    TextPropertyBagWriter w;
    s.exchange(w);
    EXPECT_FALSE(w.failed()) << w.error();
    return w.text();
}

// Loads text into a sample whose fields all differ from the defaults, so that a
// field left untouched is seen.
PropertySample load(std::string_view text, std::string* error = nullptr) {
    PropertySample s = PropertySample::extremes();
    TextPropertyBagReader r(text);
    s.exchange(r);
    if (error)
        *error = r.error();
    return s;
}

TEST(TextPropertyBag, EveryTypeRoundTripsAtItsEdges) {
    for (PropertySample s : {PropertySample{}, PropertySample::extremes()}) {
        std::string error;
        EXPECT_EQ(load(save(s), &error), s) << save(s);
        EXPECT_EQ(error, "");
    }
    PropertySample max;
    max.small = 32767;
    max.big = INT32_MAX;
    EXPECT_EQ(load(save(max)), max);
}

TEST(TextPropertyBag, WritesReadableLinesInExchangeOrder) {
    EXPECT_EQ(save(PropertySample{}), "_Version = 2.7\n"
                                      "Small = 2\n"
                                      "Big = 0\n"
                                      "Flag = True\n"
                                      "Other = False\n"
                                      "Text = \"57600,N,8,1\"\n"
                                      "Empty = \"\"\n");
}

TEST(TextPropertyBag, ReadsWhatPeopleAndOtherWritersProduce) {
    std::string error;
    PropertySample s = load("\xEF\xBB\xBF# a design\r\n"
                            "\r\n"
                            "   small=  -3 \r\n"
                            "FLAG = false\r\n"
                            "Other = 1\n"
                            "Text = \"x\"   \n"
                            "Unknown = \"kept out\"\n"
                            "Big = +12", // no final newline
                            &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(s.small, -3);
    EXPECT_EQ(s.big, 12);
    EXPECT_FALSE(s.flag);
    EXPECT_TRUE(s.other);
    EXPECT_EQ(s.text, u"x");
    // Names the bag lacks take their defaults, not what the fields held.
    EXPECT_EQ(s.major, 2);
    EXPECT_EQ(s.minor, 7);
    EXPECT_EQ(s.empty, u"");

    TextPropertyBagReader r("Unknown = 1\nSmall = 1\n");
    PropertySample t;
    t.exchange(r);
    EXPECT_EQ(r.unusedNames(), std::vector<std::string>{"Unknown"});
}

TEST(TextPropertyBag, DamageIsAClearErrorAndEveryFieldTakesItsDefault) {
    struct Case {
        std::string text;
        const char* says;
    } cases[] = {
        {"Small = 1\nno equals sign\n", "line 2: expected \"name = value\""},
        {"Small = 1\nsmall = 2\n", "line 2: small is given twice (also line 1)"},
        // The first damage in line order is the one reported.
        {"Small = 1\nsmall = 2\nno equals sign\n", "line 2: small is given twice"},
        {"Small = 1\nno equals sign\nsmall = 2\n", "line 2: expected \"name = value\""},
        {"Sm all = 1\n", "is not a property name"},
        {"1Small = 1\n", "is not a property name"},
        {"= 1\n", "is not a property name"},
        {"Small =\n", "no value"},
        {"Small = 32768\n", "out of range"},
        {"Big = 2147483648\n", "out of range"},
        {"Big = 99999999999999999999999\n", "expected an integer"},
        {"Small = 1.5\n", "expected an integer"},
        {"Small = \"1\"\n", "expected an integer"},
        {"Flag = maybe\n", "expected True or False"},
        {"Text = unquoted\n", "expected a quoted text"},
        {"Text = \"open\n", "unterminated"},
        {"Text = \"a\" b\n", "text after the closing quote"},
        {"Text = \"\\q\"\n", "unknown escape"},
        {"Text = \"\xFF\"\n", "invalid UTF-8"},
        {"Text = two words\n", "single word"},
        {"_Version = 2\n", "expected major.minor"},
        {"_Version = 2.70000\n", "expected major.minor"},
        {std::string("Small = 1\0\n", 11), "single word"},
    };
    for (const Case& c : cases) {
        TextPropertyBagReader r(c.text);
        PropertySample s = PropertySample::extremes();
        s.exchange(r);
        EXPECT_TRUE(r.failed()) << c.text;
        EXPECT_NE(r.error().find(c.says), std::string::npos) << c.text << " -> " << r.error();
        // Parsing damage leaves nothing to read; value damage found during the exchange
        // is the caller's cue to run the defaults (ControlBase does); either way no
        // field keeps what it held before.
        EXPECT_NE(s.small, PropertySample::extremes().small) << c.text;
    }
}

// A bag just under the hosts' 1 MiB cap: tens of thousands of lines nobody asks for,
// with the sample's own names spread among them in other letter cases.
TEST(TextPropertyBag, ABagNearTheSizeCapLoadsWhole) {
    constexpr int kLines = 87000;
    std::string text;
    text.reserve(1 << 20);
    for (int i = 0; i < kLines; ++i) {
        if (i == 10)
            text += "SMALL = -7\n";
        else if (i == kLines / 2)
            text += "text = \"middle \\u00e9\"\n";
        else if (i == kLines - 1)
            text += "bIG = 123456\n";
        else if (i % 5 == 0)
            text += "n" + std::to_string(i) + " = \"v\"\n";
        else
            text += "N" + std::to_string(i) + " = " + std::to_string(i % 10) + "\n";
    }
    ASSERT_LT(text.size(), size_t{1} << 20);

    TextPropertyBagReader r(text);
    PropertySample s = PropertySample::extremes();
    s.exchange(r);
    EXPECT_EQ(r.error(), "");
    EXPECT_EQ(s.small, -7);
    EXPECT_EQ(s.big, 123456);
    EXPECT_EQ(s.text, u"middle \u00e9");
    EXPECT_TRUE(s.flag); // absent: the default
    const std::vector<std::string> unused = r.unusedNames();
    ASSERT_EQ(unused.size(), size_t{kLines - 3});
    EXPECT_EQ(unused.front(), "n0");
    EXPECT_EQ(unused.back(), "N86998");

    // A name given twice is found however far apart the two lines are.
    TextPropertyBagReader twice(text + "small = 1\n");
    EXPECT_EQ(twice.error(),
              "line " + std::to_string(kLines + 1) + ": small is given twice (also line 11)");
}

TEST(TextPropertyBag, AWriterRefusesANameThatCouldNotBeReadBack) {
    TextPropertyBagWriter w;
    int16_t v = 1;
    w.exchange("bad name", v, 0);
    EXPECT_TRUE(w.failed());
    EXPECT_EQ(w.text(), "");
}

} // namespace
