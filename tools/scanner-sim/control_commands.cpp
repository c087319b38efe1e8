#include "tools/scanner-sim/control_commands.h"

#include <cctype>

#include "tools/scanner-sim/escape.h"

namespace scanner_sim {

namespace {

constexpr size_t kMaxIdentityText = 64;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Splits off the first word; rest keeps everything after the single blank that follows.
std::string_view firstWord(std::string_view s, std::string_view& rest) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) {
        rest = {};
        return {};
    }
    s.remove_prefix(b);
    size_t e = s.find(' ');
    if (e == std::string_view::npos) {
        rest = {};
        return s;
    }
    rest = s.substr(e + 1);
    return s.substr(0, e);
}

} // namespace

std::string imageAnswer(const std::optional<ImageRecord>& image, uint64_t loadsEnded) {
    const std::string count = " count=" + std::to_string(loadsEnded);
    if (!image)
        return "ok none" + count;
    const ImageRecord& r = *image;
    if (!r.ok)
        return "ok failed target=" + r.target + " reason=" + escapeBytes(r.error) + count;
    return "ok path=" + escapeBytes(r.path) + " size=" + std::to_string(r.size) +
           " sha256=" + r.sha256 + " target=" + r.target + " version=" + escapeBytes(r.version) +
           " previous=" + escapeBytes(r.previous) + count;
}

std::string runControlCommand(std::string_view line, ControlContext& ctx) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    std::string_view rest;
    const std::string command(firstWord(line, rest));
    ScannerEngine& engine = ctx.engine;

    if (command == "ping")
        return "ok";
    if (command == "quit") {
        ctx.quit = true;
        return "ok";
    }
    if (command == "get" || command == "set") {
        std::string_view value;
        const std::string key = upper(firstWord(rest, value));
        if (key.empty())
            return "err " + command + ": missing key";
        Identity& identity = engine.identity();
        std::string* field = identityField(identity, key);
        const bool setupKey = findSetupKey(key) != nullptr;
        if (!field && !setupKey)
            return "err unknown key " + key;
        if (command == "get") {
            if (!value.empty())
                return "err get takes one key";
            return "ok " + escapeBytes(setupKey ? std::string(engine.setup().get(key)) : *field);
        }
        auto text = unescapeBytes(value);
        if (!text)
            return "err bad escape in value";
        std::string error;
        if (setupKey) {
            if (!engine.setSetupValue(key, *text, error))
                return "err " + error;
            return "ok";
        }
        if (text->size() > kMaxIdentityText)
            return "err value longer than " + std::to_string(kMaxIdentityText);
        for (char ch : *text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7F)
                return "err value holds a control character";
        }
        *field = *text;
        return "ok";
    }
    if (command == "line") {
        if (!rest.empty()) {
            auto parsed = parseLineSettings(rest);
            if (!parsed)
                return "err line: expected BAUD,PARITY,BITS,STOP with scanner values";
            engine.setLine(*parsed);
        }
        return "ok " + engine.line().toString();
    }
    if (command == "pc")
        return "ok " + std::to_string(ctx.pcBaud);
    if (command == "status") {
        return "ok state=" + std::string(engineStateName(engine.state())) +
               " line=" + engine.line().toString() + " pc=" + std::to_string(ctx.pcBaud) +
               " frames=" + std::to_string(engine.framesHandled()) +
               " faults=" + escapeBytes(engine.faults().describe());
    }
    if (command == "image") {
        if (!rest.empty())
            return "err image takes no argument";
        return imageAnswer(ctx.lastImage, ctx.loadsEnded);
    }
    if (command == "log") {
        if (rest == "clear") {
            ctx.frames.clear();
            return "ok";
        }
        if (!rest.empty())
            return "err log takes no argument but clear";
        std::string out = "ok";
        for (const std::string& f : ctx.frames) {
            out += ' ';
            out += escapeBytes(f);
        }
        return out;
    }
    if (command == "fault") {
        if (rest.find_first_not_of(' ') == std::string_view::npos)
            return "ok " + engine.faults().describe();
        std::string error = engine.faults().apply(rest);
        if (!error.empty())
            return "err " + error;
        return "ok " + engine.faults().describe();
    }
    if (command.empty())
        return "err empty command";
    return "err unknown command " + escapeBytes(command);
}

} // namespace scanner_sim
