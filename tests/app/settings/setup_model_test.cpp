// The vocabulary, the record cutter, token application and the texts built from the
// settings model, over the in-memory model.
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "app/settings/apply_setup_token.h"
#include "app/settings/setup_model.h"
#include "app/settings/split_records.h"
#include "app/settings/vocabulary.h"

namespace tcu::settings {
namespace {

const std::string S(1, kSoh);
const std::string E(1, kEot);

std::string rec(const std::string& token) {
    return S + token + E;
}

int key(const char* name) {
    return setupKeyIndex(name);
}

std::string chosenValue(const SetupView& v, const char* name) {
    return setupValue(v, key(name));
}

const char kInitialCommand[] =
    "<RSBAUD=9600><RSPRTY=NONE><RSBITS=8><RSSTOP=1><RSDELY=><RSCTSE=0><SPVOLU=MEDIUM>"
    "<PREFIX=><PRECID=0><SUFFIX=><SUFFCR=0><CD39EN=0><CD39SS=0><CD128E=0><PDF417=1>"
    "<MAG1EN=1><MAG2EN=1><MAG3EN=1><MAGLRC=0><MAGRAW=0><NOREAD=0><POWSET=0><SPPOWB=1>"
    "<SPPARA=1><SERIEN=0><REGIEN=0>";

TEST(Vocabulary, TableHoldsTheKeysControlsAndFixedTokens) {
    EXPECT_EQ(setupKeys().size(), 26u);
    EXPECT_EQ(fixedTokenCount(), 55);
    std::set<std::string_view> keys, controls;
    for (const SetupKey& k : setupKeys()) {
        EXPECT_EQ(k.key.size(), 6u) << k.key;
        keys.insert(k.key);
        for (int o = 0; o < k.optionCount; ++o)
            EXPECT_TRUE(controls.insert(k.options[o].control).second) << k.options[o].control;
        if (k.field == SetupField::None) {
            EXPECT_TRUE(k.initial >= 0 && k.initial < k.optionCount) << k.key;
        }
    }
    EXPECT_EQ(keys.size(), 26u);
    // One option button per fixed token, each with its own name.
    EXPECT_EQ(controls.size(), 55u);
    EXPECT_EQ(setupKeyIndex("rsbaud"), -1);
    EXPECT_EQ(setupKeyIndex(SetupField::Prefix), key("PREFIX"));
}

TEST(SplitRecords, CutsRecordsAndSkipsWhatIsOutside) {
    EXPECT_EQ(SplitRecords("x" + rec("<RSBITS=7>") + "\r\n"),
              std::vector<std::string>{"<RSBITS=7>"});
    EXPECT_EQ(SplitRecords(rec("<RSBAUD=9600>") + rec("<RSBAUD=19200>")),
              (std::vector<std::string>{"<RSBAUD=9600>", "<RSBAUD=19200>"}));
    // Empty record, a second SOH belonging to the token.
    EXPECT_EQ(SplitRecords(S + E + S + "a" + S + "b" + E),
              (std::vector<std::string>{"", "a" + S + "b"}));
    EXPECT_TRUE(SplitRecords("").empty());
    EXPECT_TRUE(SplitRecords("plain text without records\r\n").empty());
}

TEST(SplitRecords, UnterminatedLastRecordIsDropped) {
    EXPECT_EQ(SplitRecords(rec("<A>") + S), std::vector<std::string>{"<A>"});
    EXPECT_EQ(SplitRecords(rec("<A>") + S + "<RSBAUD=1200>"), std::vector<std::string>{"<A>"});
    EXPECT_TRUE(SplitRecords(S).empty());
    EXPECT_TRUE(SplitRecords(E + E + S + S).empty());
    // A long list of SOH without EOT ends at once, not after a scan per SOH.
    const std::string many(1 << 20, kSoh);
    EXPECT_TRUE(SplitRecords(many).empty());
}

TEST(ApplySetupToken, FixedTokensChooseAndOthersChangeNothing) {
    SetupValues v;
    SplitRecords(rec("<RSBAUD=9600>") + rec("<RSBAUD=19200>") + rec("<SPVOLU=HIGH>") + "\r\n",
                 [&](std::string_view t) { ApplySetupToken(v, t); });
    EXPECT_EQ(chosenValue(v, "RSBAUD"), "19200");
    EXPECT_EQ(chosenValue(v, "SPVOLU"), "HIGH");
    EXPECT_EQ(chosenValue(v, "PDF417"), "1");

    for (const char* t : {"<RSBAUD=300>", "<rsbaud=9600>", "<RSBAUD=19200 >", "<RSBAUD=19200",
                          "RSBAUD=19200>", "", "<FACDEF=1>", "<MAG1EN=2>", "<RSBAUD:>"})
        EXPECT_FALSE(ApplySetupToken(v, t)) << t;
    EXPECT_EQ(chosenValue(v, "RSBAUD"), "19200");

    // Every fixed token of the table chooses its option.
    int applied = 0;
    for (int k = 0; k < kSetupKeyCount; ++k)
        for (int o = 0; o < setupKeys()[k].optionCount; ++o) {
            const std::string t = "<" + std::string(setupKeys()[k].key) + "=" +
                                  std::string(setupKeys()[k].options[o].value) + ">";
            EXPECT_TRUE(ApplySetupToken(v, t));
            EXPECT_EQ(v.chosenOption(k), o) << t;
            ++applied;
        }
    EXPECT_EQ(applied, 55);
}

TEST(ApplySetupToken, FreeValueKeysDropTheLastCharacterAndKeepTheLimit) {
    SetupValues v;
    v.setText(SetupField::Prefix, "old");
    ApplySetupToken(v, "<PREFIX=");
    EXPECT_EQ(v.text(SetupField::Prefix), "");
    v.setText(SetupField::Prefix, "old");
    ApplySetupToken(v, "<PREFIX=>");
    EXPECT_EQ(v.text(SetupField::Prefix), "");
    ApplySetupToken(v, "<PREFIX=AB>");
    EXPECT_EQ(v.text(SetupField::Prefix), "AB");
    ApplySetupToken(v, "<SUFFIX=XYZ");
    EXPECT_EQ(v.text(SetupField::Suffix), "XY");
    ApplySetupToken(v, "<RSDELY=042>");
    EXPECT_EQ(v.text(SetupField::Delay), "042");
    ApplySetupToken(v, "<RSDELY=>");
    EXPECT_EQ(v.text(SetupField::Delay), "");
    // A value longer than the box is cut to the box's limit.
    ApplySetupToken(v, "<PREFIX=" + std::string(100, 'p') + ">");
    EXPECT_EQ(v.text(SetupField::Prefix), std::string(40, 'p'));
    ApplySetupToken(v, "<RSDELY=12345>");
    EXPECT_EQ(v.text(SetupField::Delay), "123");
    // Only the first eight characters are compared for these keys.
    EXPECT_FALSE(ApplySetupToken(v, "<Prefix=AB>"));
    EXPECT_EQ(v.text(SetupField::Prefix), std::string(40, 'p'));
}

TEST(SetupText, CommandFileAndLineSettingsFromTheInitialChoices) {
    SetupValues v;
    EXPECT_EQ(setupCommand(v), kInitialCommand);
    EXPECT_EQ(pcLineSettings(v), "9600,n,8,1");

    const std::string file = setupFileText(v);
    const auto records = SplitRecords(file);
    ASSERT_EQ(records.size(), 25u);
    EXPECT_EQ(file.substr(0, 15), rec("<RSBAUD=9600>"));
    EXPECT_EQ(records[1], "<RSPRTY=NONE>");
    EXPECT_EQ(file.substr(file.size() - 3), E + "\r\n");
    EXPECT_EQ(file.find("RSCTSE"), std::string::npos);
}

TEST(SetupText, ValuesFollowTheChoicesAndBoxes) {
    SetupValues v;
    for (const char* t : {"<RSBAUD=38400>", "<RSPRTY=EVEN>", "<RSBITS=7>", "<RSSTOP=2>"})
        ApplySetupToken(v, t);
    EXPECT_EQ(setupCommand(v).rfind("<RSBAUD=38400><RSPRTY=EVEN><RSBITS=7><RSSTOP=2>", 0), 0u);
    EXPECT_EQ(pcLineSettings(v), "38400,e,7,2");
    ApplySetupToken(v, "<RSPRTY=ODD>");
    EXPECT_EQ(pcLineSettings(v), "38400,o,7,2");

    EXPECT_EQ(delayValue("7"), "007");
    EXPECT_EQ(delayValue("5"), "005");
    EXPECT_EQ(delayValue("25"), "025");
    EXPECT_EQ(delayValue("123"), "123");
    EXPECT_EQ(delayValue(""), "");
    EXPECT_EQ(delayValue("1a"), "1a");

    v.setText(SetupField::Delay, "5");
    v.setText(SetupField::Prefix, "A[CR]");
    v.setText(SetupField::Suffix, "[STX]");
    const std::string cmd = setupCommand(v);
    EXPECT_NE(cmd.find("<RSDELY=005>"), std::string::npos);
    EXPECT_NE(cmd.find("<PREFIX=A[CR]><PRECID"), std::string::npos);
    EXPECT_NE(cmd.find("<SUFFIX=[STX]><SUFFCR"), std::string::npos);

    // The longest command fits the bound the scanner is promised.
    v.setText(SetupField::Prefix, std::string(40, 'x'));
    v.setText(SetupField::Suffix, std::string(40, 'x'));
    ApplySetupToken(v, "<RSBAUD=115200>");
    ApplySetupToken(v, "<SPVOLU=MEDIUM>");
    EXPECT_LE(setupCommand(v).size(), 353u);
}

TEST(SetupText, FileRoundTripRestoresAllButTheHandshake) {
    SetupValues a;
    a.setText(SetupField::Delay, "042");
    a.setText(SetupField::Prefix, "[ESC]P<>");
    a.setText(SetupField::Suffix, "S>");
    for (int k = 0; k < kSetupKeyCount; ++k)
        if (setupKeys()[k].optionCount > 0)
            a.chooseOption(k, setupKeys()[k].optionCount - 1 - setupKeys()[k].initial % 2);
    const std::string file = setupFileText(a);

    SetupValues b;
    SplitRecords(file, [&](std::string_view t) { ApplySetupToken(b, t); });
    for (int k = 0; k < kSetupKeyCount; ++k) {
        if (setupKeys()[k].key == "RSCTSE") {
            EXPECT_EQ(b.chosenOption(k), setupKeys()[k].initial);
        } else {
            EXPECT_EQ(setupValue(b, k), setupValue(a, k)) << setupKeys()[k].key;
        }
    }
}

} // namespace
} // namespace tcu::settings
