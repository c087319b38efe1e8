#include "control/links/network_settings_parser.h"

#include <array>
#include <cctype>

namespace vort {

namespace {

constexpr std::size_t kExamined = 127;
constexpr std::size_t kMaxDigits = 18;
constexpr std::size_t kIpMax = 62;
constexpr std::size_t kExtensionMax = 18;

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The value after key in text (the original case), or nothing when the key is missing.
std::optional<std::string_view> valueOf(std::string_view text, const std::string& upperText,
                                        std::string_view key) {
    std::size_t at = 0;
    while ((at = upperText.find(key, at)) != std::string::npos) {
        // A key starts the text or follows a ";" (blanks between allowed); elsewhere
        // it is part of a value.
        std::size_t before = at;
        while (before > 0 && (upperText[before - 1] == ' ' || upperText[before - 1] == '\t'))
            --before;
        if (before == 0 || upperText[before - 1] == ';') {
            const std::size_t begin = at + key.size();
            const std::size_t end = upperText.find(';', begin); // there is always one at the end
            return text.substr(begin, end - begin);
        }
        ++at;
    }
    return std::nullopt;
}

std::optional<uint64_t> unsignedOf(std::string_view v) {
    std::size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
        ++i;
    uint64_t n = 0;
    std::size_t digits = 0;
    while (i < v.size() && digits < kMaxDigits && v[i] >= '0' && v[i] <= '9') {
        n = n * 10 + static_cast<uint64_t>(v[i] - '0');
        ++i;
        ++digits;
    }
    if (n == 0)
        return std::nullopt;
    return n;
}

std::optional<int64_t> signedOf(std::string_view v) {
    std::size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+'))
        negative = v[i++] == '-';
    std::optional<uint64_t> n = unsignedOf(v.substr(i));
    if (!n)
        return std::nullopt;
    const auto value = static_cast<int64_t>(*n); // at most 18 digits: fits
    return negative ? -value : value;
}

std::optional<std::string> textOf(std::string_view v, std::size_t max) {
    if (v.empty())
        return std::nullopt;
    return std::string(v.substr(0, max));
}

constexpr std::array<std::string_view, 7> kKeys = {
    "IP=",       "PORT=",   "MAXSERVERCONNECTIONS=", "OWNEXTENSION=", "CONTROLLER=",
    "CIPVALUE=", "CIPMASK="};

} // namespace

NetworkFields parseNetworkSettings(std::string_view text) {
    const std::string examined = std::string(text.substr(0, kExamined)) + ";";
    const std::string up = upper(examined);
    NetworkFields f;
    if (auto v = valueOf(examined, up, "IP="))
        f.ip = textOf(*v, kIpMax);
    if (auto v = valueOf(examined, up, "PORT="))
        f.port = unsignedOf(*v);
    if (auto v = valueOf(examined, up, "MAXSERVERCONNECTIONS="))
        f.maxConnections = unsignedOf(*v);
    if (auto v = valueOf(examined, up, "OWNEXTENSION="))
        f.ownExtension = textOf(*v, kExtensionMax);
    if (auto v = valueOf(examined, up, "CONTROLLER="))
        f.controller = signedOf(*v);
    if (auto v = valueOf(examined, up, "CIPVALUE="))
        f.cipValue = signedOf(*v);
    if (auto v = valueOf(examined, up, "CIPMASK="))
        f.cipMask = unsignedOf(*v);
    return f;
}

bool hasNetworkKey(std::string_view text) {
    const std::string up = upper(text.substr(0, kExamined));
    for (std::string_view key : kKeys)
        if (up.find(key) != std::string::npos)
            return true;
    return false;
}

} // namespace vort
