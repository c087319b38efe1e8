#include "tools/scanner-sim/image_header.h"

#include <cstdlib>

namespace scanner_sim {

namespace {

std::string field(std::string_view image, size_t position, size_t length) {
    std::string s(image.substr(position - 1, length));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    for (char& ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F)
            ch = '?';
    }
    return s;
}

} // namespace

std::optional<ImageHeader> parseImageHeader(std::string_view image, size_t imageSize) {
    if (imageSize <= kImageHeaderSize || image.size() < kImageHeaderSize)
        return std::nullopt;
    ImageHeader h;
    h.codeSize = field(image, 49, 8);
    h.crc16 = field(image, 65, 4);
    h.version = field(image, 81, 7);
    h.date = field(image, 97, 11);
    return h;
}

std::optional<double> dottedVersionNumber(std::string_view text) {
    std::string digits;
    for (char c : text)
        if (c != '.')
            digits += c;
    size_t b = digits.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::nullopt;
    size_t e = digits.find_last_not_of(" \t\r\n");
    digits = digits.substr(b, e - b + 1);
    for (char c : digits)
        if ((c < '0' || c > '9') && c != '-' && c != '+')
            return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(digits.c_str(), &end);
    if (end == digits.c_str() || *end != '\0')
        return std::nullopt;
    return v;
}

std::optional<int> compareDottedVersions(std::string_view a, std::string_view b) {
    auto x = dottedVersionNumber(a);
    auto y = dottedVersionNumber(b);
    if (!x || !y)
        return std::nullopt;
    return *x < *y ? -1 : *x > *y ? 1 : 0;
}

} // namespace scanner_sim
