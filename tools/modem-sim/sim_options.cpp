#include "tools/modem-sim/sim_options.h"

#include <charconv>

namespace modemsim {

std::optional<int> parseWholeNumber(std::string_view text, int min, int max) {
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<SimOptions> parseSimOptions(const std::vector<std::string>& args,
                                          std::string& error) {
    SimOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--control") {
            if (!next(o.controlPath))
                return std::nullopt;
            if (o.controlPath.empty()) {
                error = "--control needs a path";
                return std::nullopt;
            }
        } else if (a == "--connect-delay") {
            if (!next(v))
                return std::nullopt;
            std::optional<int> ms = parseWholeNumber(v, 0, kMaxDelayMs);
            if (!ms) {
                error = "--connect-delay needs milliseconds 0.." + std::to_string(kMaxDelayMs) +
                        ", not \"" + v + "\"";
                return std::nullopt;
            }
            o.modem.connectDelayMs = *ms;
        } else if (a == "--connect-text") {
            if (!next(o.modem.connectText))
                return std::nullopt;
        } else if (a == "--dial-result") {
            if (!next(v))
                return std::nullopt;
            if (!parseDialOutcome(v, o.modem.dialOutcome)) {
                error = "--dial-result needs connect, busy, no-carrier, no-dialtone, "
                        "no-answer, error or none, not \"" +
                        v + "\"";
                return std::nullopt;
            }
        } else if (a == "--no-remote-echo") {
            o.modem.remoteEcho = false;
        } else {
            error = "unknown option " + a + " (see --help)";
            return std::nullopt;
        }
    }
    return o;
}

std::string simUsage() {
    return "usage: modem-sim [OPTION...]\n"
           "       modem-sim --help | --version\n"
           "A Hayes modem on a pseudo-terminal; prints the terminal's path once ready.\n"
           "  --control PATH        control socket (one command a line, answers ok/err);\n"
           "                        PATH must not exist or be a socket nobody listens on\n"
           "  --connect-delay MS    from ATD or ATA to the result (default 300, at most " +
           std::to_string(kMaxDelayMs) +
           ")\n"
           "  --connect-text TEXT   the connect line (default \"CONNECT 9600\"; \"CONNECT\" "
           "works)\n"
           "  --dial-result WORD    connect, busy, no-carrier, no-dialtone, no-answer, error, "
           "none\n"
           "  --no-remote-echo      the far end does not send back what it gets\n"
           "  -h, --help            print this help and end\n"
           "  --version             print the version and end\n"
           "Control commands: ping, ring [N], hangup, send TEXT, set dial-result WORD,\n"
           "set connect-delay MS, set connect-text TEXT, state, commands, received, quit.\n"
           "Exit status: 0 at the end, 1 when it cannot start, 2 for a bad command line.\n";
}

} // namespace modemsim
