#include "tools/scanner-sim/line_settings.h"

#include <array>
#include <charconv>
#include <vector>

namespace scanner_sim {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::optional<uint32_t> toNumber(std::string_view s) {
    uint32_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty())
        return std::nullopt;
    return v;
}

} // namespace

std::string LineSettings::toString() const {
    return std::to_string(baud) + "," + parity + "," + std::to_string(dataBits) + "," +
           std::to_string(stopBits);
}

uint64_t LineSettings::charTimeNs() const {
    const uint64_t bits = 1 + static_cast<uint64_t>(dataBits) + (parity == 'N' ? 0 : 1) +
                          static_cast<uint64_t>(stopBits);
    const uint64_t rate = baud == 0 ? 1 : baud;
    const uint64_t ns = bits * 1'000'000'000ull / rate;
    return ns == 0 ? 1 : ns;
}

bool isScannerBaud(uint32_t baud) {
    static constexpr std::array<uint32_t, 8> kRates = {1200,  2400,  4800,  9600,
                                                       19200, 38400, 57600, 115200};
    for (uint32_t r : kRates)
        if (r == baud)
            return true;
    return false;
}

std::optional<LineSettings> parseLineSettings(std::string_view text) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        fields.push_back(trim(text.substr(start, comma - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (fields.size() != 4)
        return std::nullopt;
    LineSettings line;
    auto baud = toNumber(fields[0]);
    if (!baud || !isScannerBaud(*baud))
        return std::nullopt;
    line.baud = *baud;
    if (fields[1].size() != 1)
        return std::nullopt;
    char p = fields[1][0];
    if (p >= 'a' && p <= 'z')
        p = static_cast<char>(p - 'a' + 'A');
    if (p != 'N' && p != 'O' && p != 'E')
        return std::nullopt;
    line.parity = p;
    auto bits = toNumber(fields[2]);
    auto stop = toNumber(fields[3]);
    if (!bits || (*bits != 7 && *bits != 8) || !stop || (*stop != 1 && *stop != 2))
        return std::nullopt;
    line.dataBits = static_cast<int>(*bits);
    line.stopBits = static_cast<int>(*stop);
    return line;
}

} // namespace scanner_sim
