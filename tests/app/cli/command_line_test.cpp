// tcu's command line, set's pairs, the dialog facade on a terminal and the progress
// texts, without a scanner.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>

#include "app/cli/command_line.h"
#include "app/cli/progress_text.h"
#include "app/cli/setting_pairs.h"
#include "app/cli/terminal_dialogs.h"
#include "app/settings/vocabulary.h"

namespace tcu::cli {
namespace {

using vort::dialogs::Answer;
using vort::dialogs::Buttons;

QStringList args(std::initializer_list<const char*> list) {
    QStringList l;
    for (const char* a : list)
        l << QString::fromLatin1(a);
    return l;
}

TEST(CommandLineTest, OptionsStandBeforeOrAfterTheCommand) {
    ParsedCommandLine p = parseCommandLine(args({"--port", "3", "get", "RSBAUD", "--json"}));
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.port, 3);
    EXPECT_TRUE(p.options.json);
    EXPECT_EQ(p.options.command, "get");
    EXPECT_EQ(p.options.args, QStringList({"RSBAUD"}));

    p = parseCommandLine(args({"--baud=19200,even", "--quiet", "set", "SPVOLU=HIGH"}));
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.baud, "19200");
    EXPECT_EQ(p.options.parity, "E");
    EXPECT_TRUE(p.options.quiet);

    p = parseCommandLine(args({"upgrade", "a.bin", "--fast", "--yes", "--force", "--wait", "30"}));
    ASSERT_EQ(p.error, "");
    EXPECT_TRUE(p.options.fast && p.options.yes && p.options.force);
    EXPECT_EQ(p.options.waitSeconds, 30);
    EXPECT_EQ(parseCommandLine(args({"upgrade", "a.bin"})).options.waitSeconds, 120);

    // A value that looks like an option after "--" is an operand.
    p = parseCommandLine(args({"--device=/dev/serial/by-id/usb-A", "detect"}));
    EXPECT_EQ(p.options.device, "/dev/serial/by-id/usb-A");
    EXPECT_FALSE(p.options.port);
    p = parseCommandLine(args({"map", "3", "/dev/ttyACM0"}));
    EXPECT_EQ(p.options.args, QStringList({"3", "/dev/ttyACM0"}));
    p = parseCommandLine(args({"regkey", "--", "--odd-key"}));
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.args, QStringList({"--odd-key"}));
}

TEST(CommandLineTest, UsageErrorsSayWhatIsWrong) {
    const struct {
        std::initializer_list<const char*> line;
        const char* says;
    } cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "unknown command"},
        {{"--port", "0", "get"}, "port number from 1 to 255"},
        {{"--port", "256", "get"}, "1 to 255"},
        {{"--baud", "300", "get"}, "1200, 2400"},
        {{"--baud", "9600,X", "get"}, "parity is N, O or E"},
        {{"--colour", "get"}, "unknown option --colour"},
        {{"save"}, "wrong number of operands"},
        {{"factory", "now"}, "wrong number of operands"},
        {{"set"}, "wrong number of operands"},
        {{"get", "--yes"}, "belong to upgrade"},
        {{"upgrade", "a.bin", "--wait", "0"}, "at least 1"},
        {{"--device"}, "--device takes the path"},
        {{"--port", "1", "--device", "/dev/ttyUSB0", "get"}, "give one"},
        {{"--device", "/dev/ttyUSB0", "ports"}, "ports takes no --port or --device"},
        {{"--port", "2", "map", "1", "/dev/ttyUSB0"}, "map takes no"},
        {{"map", "1"}, "wrong number of operands"},
        {{"ports", "x"}, "wrong number of operands"},
    };
    for (const auto& c : cases) {
        const ParsedCommandLine p = parseCommandLine(args(c.line));
        EXPECT_TRUE(p.error.contains(QString::fromLatin1(c.says))) << p.error.toStdString();
    }
}

TEST(CommandLineTest, HelpForTheProgramAndEveryCommand) {
    EXPECT_TRUE(parseCommandLine(args({"--help"})).options.help);
    EXPECT_TRUE(parseCommandLine(args({"set", "--help"})).options.help);
    EXPECT_TRUE(helpText(QString())->contains("COMMAND"));
    for (const QString& command : commandNames()) {
        const std::optional<QString> text = helpText(command);
        ASSERT_TRUE(text) << command.toStdString();
        EXPECT_TRUE(text->startsWith("usage: tcu")) << command.toStdString();
        EXPECT_TRUE(text->contains("Exit status"));
    }
    EXPECT_FALSE(helpText(QStringLiteral("frobnicate")));
    EXPECT_EQ(versionText(), "tcu 2.11");
}

std::string treeFile(const char* path) {
    std::ifstream in(std::string(TCU_SOURCE_DIR) + "/" + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(CommandLineTest, CompletionAndManualPageKnowEveryCommandAndSetting) {
    const std::string completion = treeFile("app/cli/tcu-completion.bash");
    const std::string manual = treeFile("docs/man/tcu.1");
    ASSERT_FALSE(completion.empty());
    ASSERT_FALSE(manual.empty());
    for (const QString& command : commandNames()) {
        const std::string c = command.toStdString();
        EXPECT_TRUE(std::regex_search(completion, std::regex("[\" ]" + c + "[\" ]"))) << c;
        // A command's entry in COMMANDS: .B, .BR or .BI with the command first.
        EXPECT_TRUE(std::regex_search(manual, std::regex("\n\\.B[IR]? " + c + "[ \n]"))) << c;
    }
    for (const settings::SetupKey& key : settings::setupKeys())
        EXPECT_NE(completion.find(std::string(key.key)), std::string::npos) << key.key;
    for (const char* option : {"--port", "--baud", "--json", "--quiet", "--help", "--version"})
        EXPECT_NE(completion.find(option), std::string::npos) << option;
}

TEST(SettingPairsTest, PairsAreCheckedAgainstTheVocabulary) {
    auto ok = [](const char* pair) {
        auto parsed = parseSettingPair(QString::fromLatin1(pair));
        EXPECT_TRUE(std::holds_alternative<SettingPair>(parsed))
            << pair << ": " << std::get<QString>(parsed).toStdString();
        return std::holds_alternative<SettingPair>(parsed) ? std::get<SettingPair>(parsed).value
                                                           : std::string();
    };
    EXPECT_EQ(ok("RSPRTY=even"), "EVEN");
    EXPECT_EQ(ok("spvolu=High"), "HIGH");
    EXPECT_EQ(ok("RSDELY=5"), "005");
    EXPECT_EQ(ok("PREFIX=A[CR]"), "A[CR]");
    EXPECT_EQ(ok("SUFFIX="), "");

    auto error = [](const char* pair) {
        auto parsed = parseSettingPair(QString::fromLatin1(pair));
        return std::holds_alternative<QString>(parsed) ? std::get<QString>(parsed).toStdString()
                                                       : std::string("accepted");
    };
    EXPECT_NE(error("RSBAUD=300").find("1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200"),
              std::string::npos);
    EXPECT_NE(error("CD39EN=yes").find("takes 1, 0"), std::string::npos);
    EXPECT_NE(error("RSDELY=1000").find("0 to 999"), std::string::npos);
    EXPECT_NE(error("RSDELY=5a").find("0 to 999"), std::string::npos);
    EXPECT_NE(error("PREFIX=A\rB").find("bracket names"), std::string::npos);
    EXPECT_NE(error(("PREFIX=" + std::string(41, 'x')).c_str()).find("at most 40"),
              std::string::npos);
    EXPECT_NE(error("NOSUCH=1").find("not a setting"), std::string::npos);
    EXPECT_NE(error("RSBAUD").find("NAME=VALUE"), std::string::npos);
}

// A facade over two temporary files: what a prompt reads, and what the boxes print.
class TerminalDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        in_ = std::tmpfile();
        err_ = std::tmpfile();
    }
    void TearDown() override {
        std::fclose(in_);
        std::fclose(err_);
    }
    void type(const char* text) {
        std::fputs(text, in_);
        std::rewind(in_);
    }
    std::string printed() {
        std::fflush(err_);
        std::rewind(err_);
        std::string s;
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, err_)) > 0)
            s.append(buf, n);
        return s;
    }
    static vort::dialogs::MessageBoxRequest box(const char* text, Buttons buttons) {
        vort::dialogs::MessageBoxRequest r;
        r.text = QString::fromLatin1(text);
        r.buttons = buttons;
        return r;
    }
    std::FILE* in_ = nullptr;
    std::FILE* err_ = nullptr;
};

TEST_F(TerminalDialogsTest, WithoutATerminalAQuestionGetsTheAnswerThatChangesNothing) {
    type("Yes\n"); // never read: there is no terminal to ask
    TerminalDialogs d(in_, err_, false);
    EXPECT_EQ(d.messageBox(box("Do You Want to Update the ROM?", Buttons::YesNo)), Answer::No);
    EXPECT_EQ(d.messageBox(box("Connection Failed", Buttons::RetryCancel)), Answer::Cancel);
    EXPECT_EQ(d.messageBox(box("Port is not available at COM:3\rwhy\r", Buttons::Ok)), Answer::Ok);
    const std::string out = printed();
    EXPECT_NE(out.find("tcu: Do You Want to Update the ROM? No (no terminal to ask)"),
              std::string::npos);
    EXPECT_NE(out.find("tcu: Port is not available at COM:3\nwhy\n"), std::string::npos);
    EXPECT_TRUE(d.fileDialog({}).cancelled) << "files come from the command line";
}

TEST_F(TerminalDialogsTest, OptionsAnswerAndAPromptReadsTheOperator) {
    type("maybe\ny\n\n");
    TerminalDialogs d(in_, err_, true);
    d.answer(QStringLiteral("You are about to program"), Answer::Yes);
    EXPECT_EQ(d.messageBox(box("You are about to program the scanner with a OLDER revision\r"
                               "Do you want to continue ?",
                               Buttons::YesNo)),
              Answer::Yes);
    // An answer that names no button asks again; "y" is Yes; an empty line refuses.
    EXPECT_EQ(d.messageBox(box("Do You Want to Update the ROM?", Buttons::YesNo)), Answer::Yes);
    EXPECT_EQ(d.messageBox(box("Do You Want to Update the ROM?", Buttons::YesNo)), Answer::No);
    // End of input refuses too.
    EXPECT_EQ(d.messageBox(box("Connection Failed", Buttons::RetryCancel)), Answer::Cancel);
    EXPECT_NE(printed().find("[Retry/Cancel]"), std::string::npos);

    d.setQuiet(true);
    const size_t before = printed().size();
    d.messageBox(box("RESTART the scanner", Buttons::Ok));
    EXPECT_EQ(printed().size(), before) << "--quiet keeps notes off standard error";
}

TEST(ProgressTextTest, BarAndPlainLinesTellPercentBytesRateAndTimeLeft) {
    EXPECT_EQ(percentOf({0, 0, 0.0}), 0);
    EXPECT_EQ(percentOf({150, 100, 1.0}), 100) << "never more than all";
    EXPECT_EQ(timeLeftText({100, 1000, 0.2}), "--:--") << "too early for a rate";
    const TransferProgress half{5000, 10000, 5.0}; // 1000 B/s, 5 s left
    EXPECT_EQ(rateOf(half), 1000.0);
    EXPECT_EQ(timeLeftText(half), "0:05");
    EXPECT_EQ(barLine(half, 10), "[#####-----]  50 %  5000/10000 bytes  1.0 kB/s  0:05 left");
    EXPECT_EQ(plainLine(half), "upgrade: 50 % (5000 of 10000 bytes, 1.0 kB/s, 0:05 left)");
    EXPECT_EQ(timeLeftText({1000, 200000, 10.0}), "33:10");
}

} // namespace
} // namespace tcu::cli
