// "TCU.INI": where it lives, what is read from it and when it is repaired.
#include "app/link/port_settings_file.h"

#include "app/core/program_core.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

#include "support/non_regular_files.h"

namespace tcu {
namespace {

namespace fs = std::filesystem;

const std::string kDefault = "PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\n";

class PortSettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        core_ = std::make_unique<ProgramCore>();
        std::string pattern = (fs::temp_directory_path() / "tcu-ini-XXXXXX").string();
        ASSERT_TRUE(mkdtemp(pattern.data()));
        dir_ = pattern;
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    std::string ini() const { return dir_ + "/config/tcu/TCU.INI"; }
    void write(const std::string& text) {
        fs::create_directories(dir_ + "/config/tcu");
        std::ofstream(ini(), std::ios::binary) << text;
    }
    std::string read() const {
        std::ifstream in(ini(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Loads text and expects the file and both values afterwards.
    void expectLoad(const std::string& text, const std::string& file, const char* portCom,
                    const char* portSet) {
        SCOPED_TRACE(text);
        core_ = std::make_unique<ProgramCore>();
        write(text);
        core_->LoadPortSettings();
        EXPECT_EQ(read(), file);
        EXPECT_EQ(core_->IniPortCom, portCom);
        EXPECT_EQ(core_->IniPortSet, portSet);
    }

    std::string dir_;
    // A program that has just started: nothing loaded.
    std::unique_ptr<ProgramCore> core_;
};

TEST_F(PortSettingsFileTest, AMissingFileAndDirectoryGetTheDefaultFile) {
    core_->LoadPortSettings();
    EXPECT_EQ(core_->WindowsDir.toStdString(), dir_ + "/config/tcu");
    EXPECT_EQ(core_->IniPath.toStdString(), ini());
    EXPECT_EQ(read(), kDefault);
    EXPECT_EQ(core_->IniPortCom, "1");
    EXPECT_EQ(core_->IniPortSet, "9600,n,8,1");
}

TEST_F(PortSettingsFileTest, BadPortValuesAreRepairedWithTheDefaults) {
    expectLoad("PORTCOM=7;PORTSET=19200,n,8,1;", kDefault, "1", "9600,n,8,1");
    expectLoad("PORTCOM=0;", kDefault, "1", "9600,n,8,1");
    expectLoad("PORTCOM=abc;PORTSET=19200,n,8,1;", kDefault, "1", "9600,n,8,1");
    expectLoad("PORTCOM=;", kDefault, "1", "9600,n,8,1");
    expectLoad("PORTCOM=2.5;", kDefault, "1", "9600,n,8,1");
    // The bad entry is found after a good PORTSET: the defaults replace both.
    expectLoad("PORTSET=4800,e,8,1;PORTCOM=-1;", kDefault, "1", "9600,n,8,1");
}

TEST_F(PortSettingsFileTest, GoodFilesAreReadAndLeftUntouched) {
    expectLoad("PORTCOM=3;PORTSET=19200,n,8,1;", "PORTCOM=3;PORTSET=19200,n,8,1;", "3",
               "19200,n,8,1");
    // Any number equal to 1..6 counts; the text is kept as written.
    expectLoad("PORTCOM= 2.0;PORTSET=x;", "PORTCOM= 2.0;PORTSET=x;", " 2.0", "x");
    // Unknown keys are skipped; text behind the last ";" is ignored; PORTSET unchecked.
    expectLoad("SUPPSET=000000;PORTSET=garbage;PORTCOM=6;\r\ntrailing",
               "SUPPSET=000000;PORTSET=garbage;PORTCOM=6;\r\ntrailing", "6", "garbage");
    // A later entry wins.
    expectLoad("PORTCOM=2;PORTCOM=4;", "PORTCOM=2;PORTCOM=4;", "4", "");
}

TEST_F(PortSettingsFileTest, ReadingStopsQuietlyWhereNoEntryCanBe) {
    // Case matters: no known key, nothing loaded, nothing repaired.
    expectLoad("portcom=2;", "portcom=2;", "", "");
    // The first entry is too short to hold a key: the rest is never read.
    expectLoad("X=1;PORTCOM=2;", "X=1;PORTCOM=2;", "", "");
    // An empty file loads nothing and is not repaired.
    expectLoad("", "", "", "");
    // No ";" at all.
    expectLoad("PORTCOM=2", "PORTCOM=2", "", "");
    // A file without PORTCOM leaves it empty for the detection to report.
    expectLoad("PORTSET=19200,n,8,1;", "PORTSET=19200,n,8,1;", "", "19200,n,8,1");
}

TEST_F(PortSettingsFileTest, AFileLongerThan32767BytesIsReplaced) {
    std::string big = "PORTCOM=2;PORTSET=19200,n,8,1;";
    std::string atLimit = big + std::string(32767 - big.size(), ' ');
    expectLoad(atLimit, atLimit, "2", "19200,n,8,1");
    expectLoad(atLimit + " ", kDefault, "1", "9600,n,8,1");
}

TEST_F(PortSettingsFileTest, EightBitTextIsKeptByteForByte) {
    expectLoad("PORTSET=\xe9\xff;PORTCOM=1;", "PORTSET=\xe9\xff;PORTCOM=1;", "1", "\u00e9\u00ff");
    ASSERT_TRUE(core_->RewritePortSettings(1, core_->IniPortSet));
    EXPECT_EQ(read(), "PORTCOM=1;PORTSET=\xe9\xff;SUPPSET=;\r\n");
}

TEST_F(PortSettingsFileTest, AnUnusableFileStillLeavesTheDefaults) {
    // A directory where the file should be: neither read nor writable.
    fs::create_directories(ini());
    core_->LoadPortSettings();
    EXPECT_EQ(core_->IniPortCom, "1");
    EXPECT_EQ(core_->IniPortSet, "9600,n,8,1");
    EXPECT_TRUE(fs::is_directory(ini()));
    EXPECT_FALSE(core_->RewritePortSettings(2, "19200,O,8,1"));
}

TEST_F(PortSettingsFileTest, AFifoIsTakenAsUnreadableAtOnceAndTheRepairLeavesItAlone) {
    fs::create_directories(dir_ + "/config/tcu");
    vort::test::makeFifo(ini());
    EXPECT_TRUE(vort::test::endsWithoutBlocking(ini(), [&] { core_->LoadPortSettings(); }));
    EXPECT_EQ(core_->IniPortCom, "1");
    EXPECT_EQ(core_->IniPortSet, "9600,n,8,1");
    EXPECT_TRUE(vort::test::isFifo(ini()));
    bool written = true;
    EXPECT_TRUE(vort::test::endsWithoutBlocking(
        ini(), [&] { written = core_->RewritePortSettings(2, "19200,O,8,1"); }));
    EXPECT_FALSE(written);
    EXPECT_TRUE(vort::test::isFifo(ini()));
}

TEST_F(PortSettingsFileTest, ARewriteThroughALinkKeepsTheLinkAndThePrivateMode) {
    fs::create_directories(dir_ + "/config/tcu");
    const std::string kept = dir_ + "/kept.ini";
    vort::test::writeFileText(kept, "PORTCOM=3;PORTSET=19200,n,8,1;");
    ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
    fs::create_symlink(kept, ini());
    core_->LoadPortSettings();
    EXPECT_EQ(core_->IniPortCom, "3");
    ASSERT_TRUE(core_->RewritePortSettings(2, "19200,O,8,1"));
    EXPECT_TRUE(vort::test::isSymlink(ini()));
    EXPECT_EQ(vort::test::fileText(kept), "PORTCOM=2;PORTSET=19200,O,8,1;SUPPSET=;\r\n");
    EXPECT_EQ(vort::test::permissionsOf(kept), 0600);
}

TEST_F(PortSettingsFileTest, ARewriteReplacesTheWholeFileWithOneLine) {
    write("PORTCOM=1;PORTSET=9600,n,8,1;SUPPSET=000000;\r\nSOMETHING ELSE;\r\n");
    core_->LoadPortSettings();
    ASSERT_TRUE(core_->RewritePortSettings(2, "19200,O,8,1"));
    EXPECT_EQ(read(), "PORTCOM=2;PORTSET=19200,O,8,1;SUPPSET=;\r\n");
    EXPECT_EQ(core_->IniPortCom, "1") << "a rewrite does not change the loaded values";
    // The rewritten file reads back as what was written.
    core_->LoadPortSettings();
    EXPECT_EQ(core_->IniPortCom, "2");
    EXPECT_EQ(core_->IniPortSet, "19200,O,8,1");
}

TEST_F(PortSettingsFileTest, ARelativeConfigHomeIsIgnored) {
    setenv("HOME", dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    core_->LoadPortSettings();
    EXPECT_EQ(core_->IniPath.toStdString(), dir_ + "/.config/tcu/TCU.INI");
    EXPECT_TRUE(fs::exists(dir_ + "/.config/tcu/TCU.INI"));
}

} // namespace
} // namespace tcu
