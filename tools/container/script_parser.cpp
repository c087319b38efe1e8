#include "tools/container/script_parser.h"

#include <array>

#include "platform/component/guid.h"
#include "platform/component/text.h"
#include "tools/container/value_notation.h"

namespace vort::container {

namespace {

struct CommandSpec {
    CommandKind kind;
    const char* name;
    const char* usage;
    size_t words; // after the command word (call: at least 1)
};

constexpr std::array<CommandSpec, 12> kCommands = {{
    {CommandKind::Create, "create", "create PROGID-OR-CLSID", 1},
    {CommandKind::Mode, "mode", "mode run|design", 1},
    {CommandKind::Set, "set", "set NAME VALUE", 2},
    {CommandKind::Get, "get", "get NAME", 1},
    {CommandKind::Until, "until", "until NAME VALUE MS", 3},
    {CommandKind::Call, "call", "call NAME [ARG...]", 1},
    {CommandKind::Wait, "wait", "wait EVENT MS", 2},
    {CommandKind::Events, "events", "events on|off", 1},
    {CommandKind::Sleep, "sleep", "sleep MS", 1},
    {CommandKind::Save, "save", "save FILE", 1},
    {CommandKind::Load, "load", "load FILE", 1},
    {CommandKind::Answer, "answer", "answer Ok|Cancel|Yes|No|Retry|Abort|Ignore", 1},
}};

// The buttons a message box may have, as answer takes them.
constexpr std::array<const char*, 7> kAnswers = {"Ok",    "Cancel", "Yes",   "No",
                                                 "Retry", "Abort",  "Ignore"};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isIdentifier(std::string_view s) {
    if (s.empty() || s.size() > 64)
        return false;
    const auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (!letter(s[0]))
        return false;
    for (char c : s)
        if (!letter(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

bool isProgId(std::string_view s) {
    if (s.empty() || s.size() > 39 ||
        !((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z')))
        return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_'))
            return false;
    return true;
}

// A printable form of a word for messages: at most 40 characters, control and
// non-ASCII bytes as ?.
std::string shown(std::string_view word) {
    std::string s;
    for (char c : word.substr(0, 40))
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (word.size() > 40)
        s += "...";
    return s;
}

bool parseMs(std::string_view word, int32_t& ms, std::string& error) {
    if (word.empty() || word.size() > 9) {
        error = "MS must be a whole number of milliseconds from 0 to " +
                std::to_string(kMaxScriptMs) + ", not \"" + shown(word) + "\"";
        return false;
    }
    int64_t n = 0;
    for (char c : word) {
        if (c < '0' || c > '9') {
            error = "MS must be a whole number of milliseconds from 0 to " +
                    std::to_string(kMaxScriptMs) + ", not \"" + shown(word) + "\"";
            return false;
        }
        n = n * 10 + (c - '0');
    }
    if (n > kMaxScriptMs) {
        error = "MS must be at most " + std::to_string(kMaxScriptMs) + " (one day)";
        return false;
    }
    ms = static_cast<int32_t>(n);
    return true;
}

bool parseName(std::string_view word, const char* what, std::string& out, std::string& error) {
    if (!isIdentifier(word)) {
        error = std::string(what) + " must be a name of letters, digits and _, not \"" +
                shown(word) + "\"";
        return false;
    }
    out = std::string(word);
    return true;
}

bool parseArgValue(std::string_view word, component::Variant& out, std::string& error) {
    std::string why;
    std::optional<component::Variant> v = parseValue(word, &why);
    if (!v) {
        error = "bad value " + shown(word) + ": " + why;
        return false;
    }
    out = std::move(*v);
    return true;
}

bool parsePath(std::string_view word, std::string& out, std::string& error) {
    if (word.front() == '"') {
        std::string why;
        std::optional<component::Variant> v = parseValue(word, &why);
        if (!v || !v->isText()) {
            error = "bad file name: " + why;
            return false;
        }
        out = component::toUtf8(v->text());
    } else {
        out = std::string(word);
    }
    if (out.empty() || out.find('\0') != std::string::npos) {
        error = "the file name is empty or holds a NUL character";
        return false;
    }
    return true;
}

bool parseSwitch(std::string_view word, const char* on, const char* off, bool& out,
                 std::string& error) {
    if (component::equalsIgnoreCase(word, on) || component::equalsIgnoreCase(word, off)) {
        out = component::equalsIgnoreCase(word, on);
        return true;
    }
    error = std::string("expected ") + on + " or " + off + ", not \"" + shown(word) + "\"";
    return false;
}

} // namespace

const char* commandName(CommandKind kind) {
    for (const CommandSpec& c : kCommands)
        if (c.kind == kind)
            return c.name;
    return "?";
}

std::optional<std::vector<std::string>> splitScriptWords(std::string_view line,
                                                         std::string* error) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        const size_t start = i;
        if (line[i] == '"') {
            // A text runs to the first quote that no backslash escapes.
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    i += 2;
                    continue;
                }
                if (line[i++] == '"') {
                    closed = true;
                    break;
                }
            }
            if (!closed) {
                if (error)
                    *error = "a text is not closed: it needs a \" at its end";
                return std::nullopt;
            }
            if (i < line.size() && !isBlank(line[i])) {
                if (error)
                    *error = "a text must be followed by a blank or the line's end";
                return std::nullopt;
            }
        } else {
            while (i < line.size() && !isBlank(line[i]))
                ++i;
        }
        words.emplace_back(line.substr(start, i - start));
    }
    return words;
}

ParsedLine parseScriptLine(std::string_view line) {
    ParsedLine result;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#')
        return result; // blank or a comment, whatever it holds
    std::string error;
    std::optional<std::vector<std::string>> words = splitScriptWords(line, &error);
    if (!words) {
        result.error = error;
        return result;
    }

    const std::string& word = (*words)[0];
    const CommandSpec* entry = nullptr;
    for (const CommandSpec& c : kCommands)
        if (component::equalsIgnoreCase(word, c.name))
            entry = &c;
    if (!entry) {
        result.error = "unknown command \"" + shown(word) +
                       "\"; the commands are create, mode, set, get, until, call, wait, events, "
                       "sleep, save, load, answer";
        return result;
    }
    const std::vector<std::string> args(words->begin() + 1, words->end());
    // Call takes a method name and any number of arguments; the others a fixed count.
    const bool countOk =
        entry->kind == CommandKind::Call ? !args.empty() : args.size() == entry->words;
    if (!countOk) {
        result.error = std::string(entry->name) + ": wrong number of words; write " + entry->usage;
        return result;
    }

    ScriptCommand cmd;
    cmd.kind = entry->kind;
    bool ok = true;
    switch (entry->kind) {
    case CommandKind::Create:
        cmd.target = args[0];
        if (args[0][0] == '{') {
            if (!component::Guid::parse(args[0])) {
                error = "\"" + shown(args[0]) +
                        "\" is no CLSID: write {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
                ok = false;
            }
        } else if (!isProgId(args[0])) {
            error = "\"" + shown(args[0]) +
                    "\" is no ProgID (letters, digits, . and _, starting with a letter, at most "
                    "39) or {CLSID}";
            ok = false;
        }
        break;
    case CommandKind::Mode: {
        ok = parseSwitch(args[0], "run", "design", cmd.on, error);
        break;
    }
    case CommandKind::Set:
        ok = parseName(args[0], "NAME", cmd.target, error) &&
             parseArgValue(args[1], cmd.values.emplace_back(), error);
        break;
    case CommandKind::Get:
        ok = parseName(args[0], "NAME", cmd.target, error);
        break;
    case CommandKind::Until:
        ok = parseName(args[0], "NAME", cmd.target, error) &&
             parseArgValue(args[1], cmd.values.emplace_back(), error) &&
             parseMs(args[2], cmd.ms, error);
        break;
    case CommandKind::Call:
        ok = parseName(args[0], "the method", cmd.target, error);
        for (size_t i = 1; ok && i < args.size(); ++i)
            ok = parseArgValue(args[i], cmd.values.emplace_back(), error);
        break;
    case CommandKind::Wait:
        ok = parseName(args[0], "EVENT", cmd.target, error) && parseMs(args[1], cmd.ms, error);
        break;
    case CommandKind::Events:
        ok = parseSwitch(args[0], "on", "off", cmd.on, error);
        break;
    case CommandKind::Sleep:
        ok = parseMs(args[0], cmd.ms, error);
        break;
    case CommandKind::Save:
    case CommandKind::Load:
        ok = parsePath(args[0], cmd.target, error);
        break;
    case CommandKind::Answer:
        for (const char* a : kAnswers)
            if (component::equalsIgnoreCase(args[0], a))
                cmd.target = a;
        if (cmd.target.empty()) {
            error = "\"" + shown(args[0]) +
                    "\" is no button: write Ok, Cancel, Yes, No, Retry, Abort or Ignore";
            ok = false;
        }
        break;
    }
    if (!ok) {
        result.error = std::string(entry->name) + ": " + error;
        return result;
    }
    result.command = std::move(cmd);
    return result;
}

} // namespace vort::container
