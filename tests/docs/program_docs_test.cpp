// Every program answers --help and --version without a display and refuses a wrong
// option with a usage error; its manual page formats without a warning and names
// every option its --help lists, so the two cannot drift apart.
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace {

using vort::test::ProgramRun;
using vort::test::runProgram;

std::vector<std::string> programs() {
    std::vector<std::string> names;
    std::istringstream list(VORT_PROGRAMS);
    for (std::string name; std::getline(list, name, ',');)
        names.push_back(name);
    return names;
}

std::string builtProgram(const std::string& name) {
    const char* out = std::getenv("VORT_BUILD_OUT");
    return std::string(out ? out : ".") + "/" + name;
}

std::string manualPage(const std::string& name) {
    return std::string(VORT_MAN_DIR) + "/" + name + ".1";
}

// The environment of a machine without any display.
std::vector<std::string> noDisplay() {
    return vort::test::environmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
}

// man's, in a locale every system has, width columns wide, and without a pager.
std::vector<std::string> manEnvironment(int width) {
    std::vector<std::string> env = vort::test::environmentWithout(
        {"LC_ALL", "LANG", "LANGUAGE", "MANWIDTH", "MANOPT", "MANPAGER", "PAGER"});
    env.push_back("LC_ALL=C.UTF-8");
    env.push_back("MANWIDTH=" + std::to_string(width));
    return env;
}

// The help texts a program has: its own, and for tcu that of every command its help
// lists (the lines of "Commands:", each a command word first).
std::vector<std::vector<std::string>> helpRequests(const std::string& program) {
    std::vector<std::vector<std::string>> requests{{"--help"}};
    if (program != "tcu")
        return requests;
    const std::string help = runProgram(builtProgram(program), {"--help"}, noDisplay()).out;
    const size_t start = help.find("\nCommands:\n");
    std::istringstream lines(start == std::string::npos ? "" : help.substr(start + 11));
    std::smatch m;
    for (std::string line; std::getline(lines, line) && !line.empty();)
        if (std::regex_search(line, m, std::regex("^  ([a-z]+)( |$)")))
            requests.push_back({m[1].str(), "--help"});
    EXPECT_GE(requests.size(), 10u) << help;
    return requests;
}

// Every option a help text names: a word that starts with one or two dashes and a
// letter, standing after a blank, a bracket, a bar or a comma.
std::set<std::string> optionsIn(const std::string& text) {
    std::set<std::string> options;
    static const std::regex option(R"((?:^|[\s\[(|,])(--?[A-Za-z][A-Za-z0-9-]*))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        options.insert((*it)[1]);
    return options;
}

bool namesOption(const std::string& text, const std::string& option) {
    const std::regex word("(^|[^A-Za-z0-9-])" + option + "($|[^A-Za-z0-9-])");
    return std::regex_search(text, word);
}

TEST(ProgramDocsTest, EveryProgramIsChecked) {
    std::vector<std::string> expected{"vortreg", "vort-container", "scanner-sim", "modem-sim"};
#ifdef VORT_WITH_APP
    expected.insert(expected.end(), {"tcu1", "tcu"});
#endif
    const std::vector<std::string> checked = programs();
    for (const std::string& name : expected)
        EXPECT_NE(std::find(checked.begin(), checked.end(), name), checked.end()) << name;
}

TEST(ProgramDocsTest, HelpAndVersionNeedNoDisplay) {
    for (const std::string& name : programs()) {
        SCOPED_TRACE(name);
        const ProgramRun help = runProgram(builtProgram(name), {"--help"}, noDisplay());
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_TRUE(std::regex_search(help.out, std::regex("^[Uu]sage: " + name + " ")))
            << help.out;
        EXPECT_TRUE(namesOption(help.out, "--version")) << help.out;
        EXPECT_EQ(help.err, "");

        const ProgramRun version = runProgram(builtProgram(name), {"--version"}, noDisplay());
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_EQ(version.out, name + " " + VORT_PROGRAM_VERSION + "\n");
        EXPECT_EQ(version.err, "");
    }
}

TEST(ProgramDocsTest, AWrongOptionIsAUsageErrorWithoutDisplay) {
    for (const std::string& name : programs()) {
        SCOPED_TRACE(name);
        const ProgramRun run = runProgram(builtProgram(name), {"--no-such-option"}, noDisplay());
        EXPECT_EQ(run.status, 2) << run.out << run.err;
        EXPECT_NE(run.err.find("--no-such-option"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(ProgramDocsTest, Tcu1RefusesWhatItDoesNotTakeWithoutDisplay) {
    const std::vector<std::string> built = programs();
    if (std::find(built.begin(), built.end(), "tcu1") == built.end())
        GTEST_SKIP() << "tcu1 is not built";
    const std::vector<std::vector<std::string>> wrong{{"setup.txt"},
                                                      {"--demo-screenshot"},
                                                      {"--demo-screenshot="},
                                                      {"-platform"},
                                                      {"--style=fusion", "extra"}};
    for (const std::vector<std::string>& args : wrong) {
        SCOPED_TRACE(args.front());
        const ProgramRun run = runProgram(builtProgram("tcu1"), args, noDisplay());
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("usage: tcu1"), std::string::npos) << run.err;
    }
    // The toolkit's own options pass, so --help after them still answers.
    const ProgramRun run =
        runProgram(builtProgram("tcu1"),
                   {"-platform", "xcb", "--style=fusion", "-reverse", "--help"}, noDisplay());
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST(ProgramDocsTest, ManualPagesFormatWithoutWarnings) {
    for (const std::string& name : programs()) {
        SCOPED_TRACE(name);
        const ProgramRun run = runProgram(
            "man", {"--warnings", "-E", "UTF-8", "-l", manualPage(name)}, manEnvironment(80));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("NAME"), std::string::npos);
    }
}

TEST(ProgramDocsTest, ManualPagesNameEveryOptionOfTheHelp) {
    for (const std::string& name : programs()) {
        SCOPED_TRACE(name);
        // So wide that no option is broken over two lines.
        const ProgramRun page =
            runProgram("man", {"-E", "ascii", "-l", manualPage(name)}, manEnvironment(1000));
        ASSERT_EQ(page.status, 0) << page.err;
        for (const std::vector<std::string>& request : helpRequests(name)) {
            const ProgramRun help = runProgram(builtProgram(name), request, noDisplay());
            ASSERT_EQ(help.status, 0) << help.err;
            const std::set<std::string> options = optionsIn(help.out);
            EXPECT_GE(options.size(), 2u) << help.out;
            for (const std::string& option : options)
                EXPECT_TRUE(namesOption(page.out, option)) << option << " is not in the page";
        }
    }
}

} // namespace
