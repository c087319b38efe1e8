// The help reference: the page the build installed beside the library is the one the
// type library gives now, it covers every member, enumeration and value with its
// facts and help string, the thin members get their paragraph, text from the type
// library is escaped, and the generator fails cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/wait.h>

#include "control/object/help_prose.h"
#include "control/object/help_reference.h"
#include "control/object/vort_ctrl.h"

namespace fs = std::filesystem;
using namespace vort;
using component::MemberInfo;
using component::MemberKind;

namespace {

std::string outDir() {
    const char* out = std::getenv("VORT_BUILD_OUT");
    return out ? out : "";
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string generated() {
    return helpReferenceHtml(vortTypeLibrary(), CVortCtrl::description().browserLists);
}

// The text of the member's own section (from its id to the section's end).
std::string section(const std::string& html, const std::string& id) {
    const std::string open = "<section class=\"member\" id=\"" + id + "\">";
    const size_t start = html.find(open);
    if (start == std::string::npos)
        return {};
    return html.substr(start, html.find("</section>", start) - start);
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(HelpReference, InstalledPageIsTheCurrentTypeLibrarys) {
    ASSERT_FALSE(outDir().empty());
    const fs::path installed = fs::path(outDir()) / "vortocxe.html";
    ASSERT_TRUE(fs::exists(installed)) << installed;
    EXPECT_EQ(readFile(installed), generated());
    EXPECT_EQ(vortTypeLibrary().helpFile, "vortocxe.html");
}

TEST(HelpReference, ListsEveryMemberWithItsFacts) {
    const std::string html = generated();
    const component::TypeLibrary& lib = vortTypeLibrary();
    size_t members = 0;
    for (const auto& iface : lib.interfaces) {
        for (const MemberInfo& m : iface.members) {
            SCOPED_TRACE(m.name);
            const std::string s = section(html, m.name);
            ASSERT_FALSE(s.empty()) << "no section";
            ++members;
            EXPECT_NE(s.find("DISPID " + std::to_string(m.dispid)), std::string::npos);
            if (!m.help.empty()) {
                EXPECT_NE(s.find(htmlEscape(m.help)), std::string::npos);
            }
            const bool runTimeMark = s.find("run time only") != std::string::npos;
            EXPECT_EQ(runTimeMark, m.runTimeOnly);
            if (&iface == &lib.interfaces[0] && m.kind == MemberKind::Property) {
                const char* access = m.access == component::Access::ReadOnly    ? "read-only"
                                     : m.access == component::Access::WriteOnly ? "write-only"
                                                                                : "read/write";
                EXPECT_NE(s.find(access), std::string::npos);
                EXPECT_NE(s.find("Type " + component::varTypeName(m.type)), std::string::npos);
            }
            for (const auto& p : m.params)
                EXPECT_NE(s.find(component::varTypeName(p.type) + " " + p.name), std::string::npos)
                    << p.name;
        }
    }
    EXPECT_EQ(members, 52u + 4u + 3u) << "properties, methods, events";
    for (const auto& e : lib.enums) {
        const size_t at = html.find("<section class=\"enum\" id=\"" + e.name + "\">");
        ASSERT_NE(at, std::string::npos) << e.name;
        const std::string s = html.substr(at, html.find("</section>", at) - at);
        for (const auto& v : e.members)
            EXPECT_NE(
                s.find("<code>" + v.name + "</code></td><td>" + std::to_string(v.value) + "<"),
                std::string::npos)
                << e.name << "." << v.name;
    }
    // The property browser's choices come with their properties.
    EXPECT_NE(section(html, "ComType").find("<li>21 - TCP/IP Server</li>"), std::string::npos);
    EXPECT_NE(section(html, "Protocol").find("values of <a href=\"#VORTOCX_PROTOCOLS\">"),
              std::string::npos);
    // XONChar and XOFFChar are hidden from the type library, and so from its help.
    EXPECT_EQ(html.find("XONChar"), std::string::npos);
}

TEST(HelpReference, ThinMembersGetTheirParagraph) {
    const std::string html = generated();
    for (const char* name :
         {"ComErrors", "S3964Master", "S3964UseBCC", "S3964TQ", "S3964TZ", "S3964Retry", "hWnd",
          "ComOutput", "ComInput", "PortPresent", "AboutBox"}) {
        const std::string s = section(html, name);
        // The facts paragraph, and at least one paragraph of explanation after it.
        size_t paragraphs = 0;
        for (size_t at = s.find("<p"); at != std::string::npos; at = s.find("<p", at + 1))
            paragraphs += s.compare(at, 3, "<p>") == 0;
        EXPECT_GE(paragraphs, 1u) << name;
        EXPECT_GT(s.size(), 250u) << name;
    }
}

TEST(HelpReference, TransferNotesSayWhatEachProtocolDelivers) {
    const std::string html = generated();
    const std::string protocol = section(html, "Protocol");
    EXPECT_NE(protocol.find("0x1A"), std::string::npos) << "the XMODEM padding is written down";
    EXPECT_NE(protocol.find("carry the length"), std::string::npos);
    EXPECT_NE(protocol.find("binary files"), std::string::npos);
    const std::string info = section(html, "OnFileInfo");
    EXPECT_NE(info.find("9 (VORT_TXSKIP)"), std::string::npos);
    EXPECT_NE(html.find("<code>VORT_TXSKIP</code></td><td>9<"), std::string::npos);
    const std::string dir = section(html, "FileDownLoadDir");
    EXPECT_NE(dir.find("xdg-user-dir DOWNLOAD"), std::string::npos);
    EXPECT_NE(dir.find("working directory"), std::string::npos);
}

// A paragraph whose heading names no member of the type library (a typo, a renamed
// member) would never reach the page.
TEST(HelpReference, EveryParagraphOfTheProseHasItsMember) {
    std::string error;
    const std::optional<HelpProse> prose = parseHelpProse(helpProseText(), &error);
    ASSERT_TRUE(prose) << error;
    ASSERT_FALSE(prose->members.empty());
    const component::TypeLibrary& lib = vortTypeLibrary();
    for (const auto& [name, text] : prose->members) {
        bool found = false;
        for (const auto& iface : lib.interfaces)
            found = found || iface.find(name) != nullptr;
        EXPECT_TRUE(found) << "[member " << name << "] names no member";
        EXPECT_NE(section(generated(), name).find("<p>" + text + "</p>"), std::string::npos)
            << name;
    }
}

TEST(HelpReference, ProseJoinsLinesAndRejectsMalformedText) {
    std::string error;
    const auto prose = parseHelpProse("# comment\r\n[member A]\r\none\n\ntwo  x\n"
                                      "# between\n[page b c]\nthree",
                                      &error);
    ASSERT_TRUE(prose) << error;
    EXPECT_EQ(prose->members.at("A"), "one two  x");
    EXPECT_EQ(prose->page.at("b c"), "three");
    EXPECT_TRUE(parseHelpProse("", &error)->members.empty());

    for (const auto& [text, where] :
         {std::pair{"text\n[member A]\nx", "line 1: text before the first heading"},
          std::pair{"[member A]\nx\n[other B]\ny", "line 3: unknown heading kind \"other\""},
          std::pair{"[member A]\nx\n[member A]\ny", "line 3: [A] is given twice"},
          std::pair{"[member A]\n\n[member B]\ny", "line 1: [A] has no text"},
          std::pair{"[member A]\nx\n[member B]", "line 3: [B] has no text"},
          std::pair{"[member]\nx", "line 1: a heading is \"[member NAME]\" or \"[page NAME]\""},
          std::pair{"[member A\nx", "line 1: a heading is \"[member NAME]\" or \"[page NAME]\""}}) {
        error.clear();
        EXPECT_FALSE(parseHelpProse(text, &error)) << text;
        EXPECT_EQ(error, where) << text;
    }
}

TEST(HelpReference, TextFromTheTypeLibraryIsEscaped) {
    EXPECT_EQ(htmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
    component::TypeLibrary lib;
    lib.name = "Lib";
    lib.help = "Evil <script>alert(1)</script>";
    component::InterfaceInfo iface;
    iface.name = "_DEvil";
    iface.members.push_back(
        {.dispid = 1, .name = "Prop", .type = component::VT_I2, .help = "x < y & \"z\""});
    lib.interfaces.push_back(iface);
    lib.enums.push_back({.name = "E<1>", .help = {}, .members = {{"A&B", 3}}});
    const std::string html = helpReferenceHtml(lib, {});
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("Evil &lt;script&gt;"), std::string::npos);
    EXPECT_NE(html.find("x &lt; y &amp; &quot;z&quot;"), std::string::npos);
    EXPECT_NE(html.find("A&amp;B"), std::string::npos);
    EXPECT_NE(html.find("id=\"E&lt;1&gt;\""), std::string::npos);
}

TEST(HelpReference, GeneratorWritesThePageOrFailsCleanly) {
    const fs::path dir =
        fs::temp_directory_path() / ("vort-helpgen-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string gen = outDir() + "/vort-helpgen";
    const fs::path out = dir / "page.html";
    EXPECT_EQ(run(gen + " " + out.string()), 0);
    EXPECT_EQ(readFile(out), generated());
    EXPECT_FALSE(fs::exists(dir / "page.html.tmp"));

    EXPECT_EQ(run(gen + " 2>/dev/null"), 2) << "no output named";
    EXPECT_EQ(run(gen + " a b 2>/dev/null"), 2);
    const fs::path missing = dir / "no-such-dir" / "page.html";
    EXPECT_EQ(run(gen + " " + missing.string() + " 2>/dev/null"), 1);
    EXPECT_FALSE(fs::exists(missing));
    // An existing page is replaced whole, never left half written.
    std::ofstream(out) << "old";
    EXPECT_EQ(run(gen + " " + out.string()), 0);
    EXPECT_EQ(readFile(out), generated());
    fs::remove_all(dir);
}
