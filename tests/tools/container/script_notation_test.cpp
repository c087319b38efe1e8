// The container script's value notation and line parser: every value form and its
// limits, printing that reads back as the same value, each command's shape, and a
// clear error for every malformed line.
#include <gtest/gtest.h>

#include <random>

#include "tools/container/script_parser.h"
#include "tools/container/value_notation.h"

using namespace vort::container;
using vort::component::Variant;
using vort::component::VT_I2;
using vort::component::VT_I4;

namespace {

Variant value(std::string_view token) {
    std::string error;
    std::optional<Variant> v = parseValue(token, &error);
    EXPECT_TRUE(v.has_value()) << token << ": " << error;
    return v.value_or(Variant());
}

std::string valueError(std::string_view token) {
    std::string error;
    EXPECT_FALSE(parseValue(token, &error).has_value()) << token;
    EXPECT_FALSE(error.empty()) << token;
    return error;
}

ScriptCommand command(std::string_view line) {
    ParsedLine p = parseScriptLine(line);
    EXPECT_TRUE(p.error.empty()) << line << ": " << p.error;
    EXPECT_TRUE(p.command.has_value()) << line;
    return p.command.value_or(ScriptCommand{});
}

std::string lineError(std::string_view line) {
    ParsedLine p = parseScriptLine(line);
    EXPECT_FALSE(p.command.has_value()) << line;
    EXPECT_FALSE(p.error.empty()) << line;
    return p.error;
}

} // namespace

TEST(ValueNotation, Integers) {
    EXPECT_EQ(value("0"), Variant::i2(0));
    EXPECT_EQ(value("32767"), Variant::i2(32767));
    EXPECT_EQ(value("-32768"), Variant::i2(-32768));
    EXPECT_EQ(value("32768"), Variant::i4(32768));
    EXPECT_EQ(value("-32769"), Variant::i4(-32769));
    EXPECT_EQ(value("2147483647"), Variant::i4(2147483647));
    EXPECT_EQ(value("-2147483648"), Variant::i4(INT32_MIN));
    EXPECT_EQ(value("+12"), Variant::i2(12));
    EXPECT_EQ(value("007"), Variant::i2(7));
    EXPECT_NE(valueError("2147483648").find("range"), std::string::npos);
    EXPECT_NE(valueError("-2147483649").find("range"), std::string::npos);
    EXPECT_NE(valueError("99999999999999999999999").find("range"), std::string::npos);
    for (const char* bad :
         {"-", "+", "5a", "1.5", "0x10", "--1", "+-1", "1e3", "True", "FALSE", "yes", "nil"})
        valueError(bad);
}

TEST(ValueNotation, BooleansAndEmpty) {
    EXPECT_EQ(value("true"), Variant::boolean(true));
    EXPECT_EQ(value("false"), Variant::boolean(false));
    EXPECT_TRUE(value("empty").isEmpty());
    valueError("");
}

TEST(ValueNotation, Texts) {
    EXPECT_EQ(value("\"\""), Variant::bstr(u""));
    EXPECT_EQ(value("\"AB\""), Variant::bstr(u"AB"));
    EXPECT_EQ(value("\"a b\tc\""), Variant::bstr(u"a b\tc"));
    EXPECT_EQ(value(R"("\\\"")"), Variant::bstr(u"\\\""));
    EXPECT_EQ(value(R"("\x00\x0d\xFF\xe9")"), Variant::bstr(std::u16string(u"\0\r\xFF\xE9", 4)));
    EXPECT_EQ(value(R"("\u20AC\u0041")"), Variant::bstr(u"\u20AC"
                                                        u"A"));
    EXPECT_EQ(value("\"\xC3\xA9\xE2\x82\xAC\""), Variant::bstr(u"\u00E9\u20AC"))
        << "UTF-8 in the script";
    EXPECT_EQ(value("\"\xF0\x9F\x98\x80\""), Variant::bstr(u"\U0001F600"))
        << "beyond 16 bits: a surrogate pair";

    EXPECT_NE(valueError("\"abc").find("closing quote"), std::string::npos);
    EXPECT_NE(valueError("\"").find("closing quote"), std::string::npos);
    EXPECT_NE(valueError(R"("a\")").find("lone backslash"), std::string::npos);
    EXPECT_NE(valueError(R"("a"b")").find("quote"), std::string::npos);
    EXPECT_NE(valueError(R"("\n")").find("unknown escape"), std::string::npos);
    EXPECT_NE(valueError(R"("\x4")").find("hexadecimal"), std::string::npos);
    EXPECT_NE(valueError(R"("\xG0")").find("hexadecimal"), std::string::npos);
    EXPECT_NE(valueError(R"("\u12")").find("hexadecimal"), std::string::npos);
    EXPECT_NE(valueError("\"a\rb\"").find("control character"), std::string::npos);
    for (const char* bad : {"\"\xC3\"", "\"\xC0\x80\"", "\"\xED\xA0\x80\"",
                            "\"\xF8\x88\x80\x80\x80\"", "\"\xFF\"", "\"\xE2\x82\""})
        EXPECT_NE(valueError(bad).find("UTF-8"), std::string::npos) << "invalid UTF-8 is refused";
}

TEST(ValueNotation, Bytes) {
    EXPECT_EQ(value("bytes:"), Variant::bytes({}));
    EXPECT_EQ(value("bytes:4142ff00"), Variant::bytes({0x41, 0x42, 0xFF, 0x00}));
    EXPECT_NE(valueError("bytes:414").find("two"), std::string::npos);
    EXPECT_NE(valueError("bytes:4G").find("hexadecimal"), std::string::npos);
    valueError("bytes");
    valueError("BYTES:41");
}

TEST(ValueNotation, PrintsInTheSameNotation) {
    EXPECT_EQ(formatValue(Variant()), "empty");
    EXPECT_EQ(formatValue(Variant::i2(-5)), "-5");
    EXPECT_EQ(formatValue(Variant::i4(100000)), "100000");
    EXPECT_EQ(formatValue(Variant::ui1(200)), "200");
    EXPECT_EQ(formatValue(Variant::i1(-3)), "-3");
    EXPECT_EQ(formatValue(Variant::boolean(true)), "true");
    EXPECT_EQ(formatValue(Variant::boolean(false)), "false");
    EXPECT_EQ(formatValue(Variant::bytes({0x0A, 0xBC})), "bytes:0ABC");
    EXPECT_EQ(formatValue(Variant::bstr(std::u16string(u"A\"\\\x1F\x7F\xE9\x20AC ~\0", 10))),
              R"("A\"\\\x1F\x7F\xE9\u20AC ~\x00")");
    Variant target = Variant::bstr(u"x");
    EXPECT_EQ(formatValue(Variant::byRef(&target)), "\"x\"");

    // Whatever is printed reads back as the same value: every single code unit, and
    // random texts and byte arrays.
    for (unsigned c = 0; c <= 0xFFFF; ++c) {
        const Variant v = Variant::bstr(std::u16string(1, static_cast<char16_t>(c)));
        ASSERT_EQ(value(formatValue(v)), v) << c;
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::u16string text(rng() % 20, u'\0');
        for (auto& ch : text)
            ch = static_cast<char16_t>(rng() % 3 == 0 ? rng() % 0x10000 : rng() % 0x100);
        ASSERT_EQ(value(formatValue(Variant::bstr(text))), Variant::bstr(text));
        Variant::Bytes bytes(rng() % 20);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(rng());
        ASSERT_EQ(value(formatValue(Variant::bytes(bytes))), Variant::bytes(bytes));
        const int32_t n = static_cast<int32_t>(rng());
        ASSERT_EQ(formatValue(value(formatValue(Variant::i4(n)))), std::to_string(n));
    }
}

TEST(ScriptParser, EveryCommand) {
    ScriptCommand c = command("create VORT.VortCtrl.1");
    EXPECT_EQ(c.kind, CommandKind::Create);
    EXPECT_EQ(c.target, "VORT.VortCtrl.1");
    EXPECT_EQ(command("create {F79B03E7-3453-40FE-AC92-EFC959F24497}").target,
              "{F79B03E7-3453-40FE-AC92-EFC959F24497}");
    EXPECT_TRUE(command("mode run").on);
    EXPECT_FALSE(command("MODE Design").on);
    c = command("set Output \"A B\"");
    EXPECT_EQ(c.kind, CommandKind::Set);
    EXPECT_EQ(c.target, "Output");
    ASSERT_EQ(c.values.size(), 1u);
    EXPECT_EQ(c.values[0], Variant::bstr(u"A B"));
    EXPECT_EQ(command("get commport").target, "commport");
    c = command("until InBufferCount 4 2000");
    EXPECT_EQ(c.kind, CommandKind::Until);
    EXPECT_EQ(c.values.at(0), Variant::i2(4));
    EXPECT_EQ(c.ms, 2000);
    c = command("call ComInput 0 empty 5");
    EXPECT_EQ(c.kind, CommandKind::Call);
    ASSERT_EQ(c.values.size(), 3u);
    EXPECT_TRUE(c.values[1].isEmpty());
    EXPECT_TRUE(command("call AboutBox").values.empty());
    c = command("wait OnComm 0");
    EXPECT_EQ(c.kind, CommandKind::Wait);
    EXPECT_EQ(c.ms, 0);
    EXPECT_TRUE(command("events on").on);
    EXPECT_FALSE(command("events OFF").on);
    EXPECT_EQ(command("sleep 86400000").ms, 86400000);
    EXPECT_EQ(command("save /tmp/a.bag").target, "/tmp/a.bag");
    EXPECT_EQ(command("load \"/tmp/my design.bag\"").target, "/tmp/my design.bag");
    EXPECT_EQ(command("  get   Settings  \r").target, "Settings") << "blanks and a CR are dropped";
    c = command("answer yes");
    EXPECT_EQ(c.kind, CommandKind::Answer);
    EXPECT_EQ(c.target, "Yes");
    EXPECT_EQ(command("ANSWER Ignore").target, "Ignore");
}

TEST(ScriptParser, BlankLinesAndComments) {
    for (const char* line :
         {"", "   ", "\t", "\r", "# a comment", "  #create x", "# \"unclosed quote"}) {
        ParsedLine p = parseScriptLine(line);
        EXPECT_FALSE(p.command.has_value()) << line;
        EXPECT_TRUE(p.error.empty()) << line;
    }
}

TEST(ScriptParser, EveryMalformedLineSaysWhy) {
    EXPECT_NE(lineError("frobnicate 1").find("unknown command"), std::string::npos);
    EXPECT_NE(lineError("create").find("create PROGID-OR-CLSID"), std::string::npos);
    EXPECT_NE(lineError("create a b").find("wrong number"), std::string::npos);
    EXPECT_NE(lineError("create {F79B03E7-3453}").find("CLSID"), std::string::npos);
    EXPECT_NE(lineError("create 1VORT").find("ProgID"), std::string::npos);
    EXPECT_NE(lineError("create VORT-Ctrl").find("ProgID"), std::string::npos);
    EXPECT_NE(lineError("mode fast").find("run or design"), std::string::npos);
    EXPECT_NE(lineError("set CommPort").find("set NAME VALUE"), std::string::npos);
    EXPECT_NE(lineError("set CommPort 1 2").find("wrong number"), std::string::npos);
    EXPECT_NE(lineError("set Comm-Port 1").find("NAME"), std::string::npos);
    EXPECT_NE(lineError("set 1st 1").find("NAME"), std::string::npos);
    EXPECT_NE(lineError("set CommPort one").find("bad value"), std::string::npos);
    EXPECT_NE(lineError("set Output \"AB").find("not closed"), std::string::npos);
    EXPECT_NE(lineError("set Output \"A\"B").find("followed by a blank"), std::string::npos);
    EXPECT_NE(lineError("get").find("get NAME"), std::string::npos);
    EXPECT_NE(lineError("until PortOpen true").find("until NAME VALUE MS"), std::string::npos);
    EXPECT_NE(lineError("until PortOpen true soon").find("MS"), std::string::npos);
    EXPECT_NE(lineError("until PortOpen true -1").find("MS"), std::string::npos);
    EXPECT_NE(lineError("until PortOpen true 1.5").find("MS"), std::string::npos);
    EXPECT_NE(lineError("sleep 86400001").find("one day"), std::string::npos);
    EXPECT_NE(lineError("sleep 99999999999999").find("MS"), std::string::npos);
    EXPECT_NE(lineError("call").find("call NAME"), std::string::npos);
    EXPECT_NE(lineError("call ComInput 0 \"x 5").find("not closed"), std::string::npos);
    EXPECT_NE(lineError("call ComInput 0 bytes:1 5").find("bad value"), std::string::npos);
    EXPECT_NE(lineError("wait OnComm").find("wait EVENT MS"), std::string::npos);
    EXPECT_NE(lineError("wait On.Comm 10").find("EVENT"), std::string::npos);
    EXPECT_NE(lineError("events maybe").find("on or off"), std::string::npos);
    EXPECT_NE(lineError("answer maybe").find("no button"), std::string::npos);
    EXPECT_NE(lineError("answer").find("answer Ok|Cancel"), std::string::npos);
    EXPECT_NE(lineError("sleep").find("sleep MS"), std::string::npos);
    EXPECT_NE(lineError("save").find("save FILE"), std::string::npos);
    EXPECT_NE(lineError("save \"\"").find("empty"), std::string::npos);
    EXPECT_NE(lineError("load \"a\\x00b\"").find("NUL"), std::string::npos);
    // Messages show no raw control bytes, and long words are cut.
    const std::string e = lineError(std::string("set \x01\x02") + std::string(100, 'x') + " 1");
    EXPECT_EQ(e.find('\x01'), std::string::npos);
    EXPECT_LT(e.size(), 200u);
}
