#include "control/port/settings_parser.h"

#include <cstdio>
#include <limits>
#include <vector>

namespace vort {
namespace {

constexpr size_t kJudgedLength = 29;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Leading blanks skipped, an optional plus sign, digits until the first non-digit.
// A minus sign counts as a non-digit, so "-5" reads as 0 rather than wrapping to a
// huge unsigned rate.
uint64_t readDecimal(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && isBlank(field[i]))
        ++i;
    if (i < field.size() && field[i] == '+')
        ++i;
    uint64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(field[i] - '0');
        if (value > std::numeric_limits<uint32_t>::max())
            return std::numeric_limits<uint32_t>::max();
    }
    return value;
}

} // namespace

bool parseLineSettings(std::string_view text, LineSettings& settings, uint32_t maxBaud) {
    std::string judged(text.substr(0, kJudgedLength));
    for (char& c : judged)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');

    std::vector<std::string_view> fields;
    std::string_view rest(judged);
    while (!rest.empty() && fields.size() < 4) {
        size_t comma = rest.find(',');
        std::string_view field = rest.substr(0, comma);
        if (!field.empty())
            fields.push_back(field);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    if (fields.empty())
        return false;

    LineSettings out = settings;
    out.baud = static_cast<uint32_t>(readDecimal(fields[0]));
    if (maxBaud > 0 && (out.baud == 0 || out.baud > maxBaud))
        return false;

    if (fields.size() > 1) {
        char p = fields[1][0];
        if (p != 'E' && p != 'M' && p != 'N' && p != 'O' && p != 'S')
            return false;
        out.parity = p;
    }
    if (fields.size() > 2) {
        uint64_t bits = readDecimal(fields[2]);
        if (bits < 5 || bits > 8)
            return false;
        out.dataBits = static_cast<uint8_t>(bits);
    }
    if (fields.size() > 3) {
        if (fields[3] == "1.5") {
            out.stopBits = out.dataBits == 5 ? 2 : 1;
        } else {
            uint64_t stop = readDecimal(fields[3]);
            if (stop != 1 && stop != 2)
                return false;
            out.stopBits = static_cast<uint8_t>(stop);
        }
    }
    settings = out;
    return true;
}

std::string formatLineSettings(const LineSettings& s) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lu,%c,%u,%u", static_cast<unsigned long>(s.baud), s.parity,
                  static_cast<unsigned>(s.dataBits), static_cast<unsigned>(s.stopBits));
    return buf;
}

} // namespace vort
