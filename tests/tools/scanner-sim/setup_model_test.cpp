// The scanner's 26 setup values: factory default, checks, records, line settings.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tools/scanner-sim/setup_model.h"

namespace scanner_sim {
namespace {

std::string rec(const std::string& token) {
    return "\x01" + token + "\x04";
}

TEST(SetupModel, FactorySetupInTheOrderOfTheSetupCommand) {
    SetupModel m;
    const std::string expected =
        rec("<RSBAUD=9600>") + rec("<RSPRTY=NONE>") + rec("<RSBITS=8>") + rec("<RSSTOP=1>") +
        rec("<RSDELY=000>") + rec("<RSCTSE=0>") + rec("<SPVOLU=MEDIUM>") + rec("<PREFIX=>") +
        rec("<PRECID=0>") + rec("<SUFFIX=>") + rec("<SUFFCR=0>") + rec("<CD39EN=0>") +
        rec("<CD39SS=0>") + rec("<CD128E=0>") + rec("<PDF417=1>") + rec("<MAG1EN=1>") +
        rec("<MAG2EN=1>") + rec("<MAG3EN=1>") + rec("<MAGLRC=0>") + rec("<MAGRAW=0>") +
        rec("<NOREAD=0>") + rec("<POWSET=0>") + rec("<SPPOWB=1>") + rec("<SPPARA=1>") +
        rec("<SERIEN=0>") + rec("<REGIEN=0>");
    EXPECT_EQ(m.recordList(), expected);
    EXPECT_EQ(m.line().toString(), "9600,N,8,1");
    EXPECT_EQ(setupKeys().size(), 26u);
    std::set<std::string_view> keys;
    for (const auto& k : setupKeys())
        keys.insert(k.key);
    EXPECT_EQ(keys.size(), 26u);
}

TEST(SetupModel, ChoicesAreExactAndCaseSensitive) {
    SetupModel m;
    std::string error;
    EXPECT_TRUE(m.set("SPVOLU", "HIGH", error));
    EXPECT_FALSE(m.set("SPVOLU", "high", error));
    EXPECT_FALSE(m.set("RSBAUD", "300", error));
    EXPECT_FALSE(m.set("RSBAUD", "09600", error));
    EXPECT_FALSE(m.set("MAG1EN", "2", error));
    EXPECT_FALSE(m.set("MAG1EN", "", error));
    EXPECT_FALSE(m.set("NOSUCH", "1", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(m.get("SPVOLU"), "HIGH"); // refused values change nothing
    EXPECT_EQ(m.get("RSBAUD"), "9600");
    EXPECT_EQ(m.get("NOSUCH"), "");
}

TEST(SetupModel, DelayIsOneToThreeDigitsKeptAsThree) {
    SetupModel m;
    std::string error;
    EXPECT_TRUE(m.set("RSDELY", "7", error));
    EXPECT_EQ(m.get("RSDELY"), "007");
    EXPECT_TRUE(m.set("RSDELY", "123", error));
    EXPECT_EQ(m.get("RSDELY"), "123");
    EXPECT_TRUE(m.set("RSDELY", "042", error));
    EXPECT_EQ(m.record("RSDELY"), rec("<RSDELY=042>"));
    for (const char* bad : {"1000", "1a", " 1", "-1"})
        EXPECT_FALSE(m.set("RSDELY", bad, error)) << bad;
    EXPECT_EQ(m.get("RSDELY"), "042");
    EXPECT_TRUE(m.set("RSDELY", "", error)); // an empty box keeps the delay in force
    EXPECT_EQ(m.get("RSDELY"), "042");
}

TEST(SetupModel, PrefixAndSuffixTakePrintableTextUpToFortyCharacters) {
    SetupModel m;
    std::string error;
    EXPECT_TRUE(m.set("PREFIX", "[STX]A>b", error));
    EXPECT_EQ(m.record("PREFIX"), rec("<PREFIX=[STX]A>b>"));
    EXPECT_TRUE(m.set("SUFFIX", std::string(40, 'x'), error));
    EXPECT_FALSE(m.set("SUFFIX", std::string(41, 'x'), error));
    // Raw control characters would end a record or the answer line early.
    EXPECT_FALSE(m.set("PREFIX", "A\x04", error));
    EXPECT_FALSE(m.set("PREFIX", "A\r\n", error));
    EXPECT_FALSE(m.set("PREFIX", std::string("A\0", 2), error));
    EXPECT_TRUE(m.set("PREFIX", "\xe9t\xe9", error)); // Latin-1 letters are text
    EXPECT_TRUE(m.set("PREFIX", "", error));
    EXPECT_EQ(m.get("PREFIX"), "");
}

TEST(SetupModel, LineSettingsFollowTheFourRsKeysAndFactoryRestoresThem) {
    SetupModel m;
    std::string error;
    ASSERT_TRUE(m.set("RSBAUD", "38400", error));
    ASSERT_TRUE(m.set("RSPRTY", "EVEN", error));
    ASSERT_TRUE(m.set("RSBITS", "7", error));
    ASSERT_TRUE(m.set("RSSTOP", "2", error));
    EXPECT_EQ(m.line().toString(), "38400,E,7,2");
    ASSERT_TRUE(m.set("RSPRTY", "ODD", error));
    EXPECT_EQ(m.line().parity, 'O');
    ASSERT_TRUE(m.set("PREFIX", "X", error));
    m.restoreFactory();
    EXPECT_EQ(m.line().toString(), "9600,N,8,1");
    EXPECT_EQ(m.get("PREFIX"), "");
    EXPECT_EQ(m.get("PDF417"), "1");
}

} // namespace
} // namespace scanner_sim
