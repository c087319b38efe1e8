#include <gtest/gtest.h>
#include <unordered_set>

#include "platform/component/guid.h"

using vort::component::Guid;
using vort::component::GuidHash;

namespace {

constexpr Guid kSample = Guid::literal("{F13FEC21-09B9-4F01-A9C7-801380D41B98}");

TEST(Guid, ParsesAndFormatsTheBracedForm) {
    EXPECT_EQ(kSample.data1, 0xF13FEC21u);
    EXPECT_EQ(kSample.data2, 0x09B9);
    EXPECT_EQ(kSample.data3, 0x4F01);
    EXPECT_EQ(kSample.data4[0], 0xA9);
    EXPECT_EQ(kSample.data4[7], 0x98);
    EXPECT_EQ(kSample.format(), "{F13FEC21-09B9-4F01-A9C7-801380D41B98}");
    // Lower case and the unbraced form read the same Guid; format is always upper, braced.
    EXPECT_EQ(Guid::parse("{f13fec21-09b9-4f01-a9c7-801380d41b98}"), kSample);
    EXPECT_EQ(Guid::parse("F13FEC21-09B9-4F01-A9C7-801380D41B98"), kSample);
    EXPECT_EQ(Guid::parse(Guid{}.format()), Guid{});
    EXPECT_TRUE(Guid{}.isNull());
    EXPECT_FALSE(kSample.isNull());
}

TEST(Guid, RejectsEverythingElse) {
    for (const char* bad : {
             "", "{}",
             "{F13FEC21-09B9-4F01-A9C7-801380D41B9}",    // a digit short
             "{F13FEC21-09B9-4F01-A9C7-801380D41B988}",  // a digit too many
             "{F13FEC21-09B9-4F01-A9C7-801380D41B98",    // no closing brace
             "F13FEC21-09B9-4F01-A9C7-801380D41B98}",    // no opening brace
             "{F13FEC2109B9-4F01-A9C7-801380D41B98-}",   // dash misplaced
             "{G13FEC21-09B9-4F01-A9C7-801380D41B98}",   // not hex
             "{F13FEC21 09B9-4F01-A9C7-801380D41B98}",   // space for a dash
             " {F13FEC21-09B9-4F01-A9C7-801380D41B98}",  // leading space
             "{F13FEC21-09B9-4F01-A9C7-801380D41B98}\n", // trailing newline
             "{+13FEC21-09B9-4F01-A9C7-801380D41B98}",   // sign
         })
        EXPECT_FALSE(Guid::parse(bad).has_value()) << bad;
}

TEST(Guid, OrdersAndHashesByValue) {
    Guid a = kSample, b = kSample;
    b.data4[7] ^= 1;
    EXPECT_NE(a, b);
    EXPECT_TRUE(a < b || b < a);
    std::unordered_set<Guid, GuidHash> set{a, b, a};
    EXPECT_EQ(set.size(), 2u);
}

} // namespace
