// Guid: the 128-bit identifier of classes, interfaces and type libraries.
//
// Text form: "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", 32 hex digits in the groups
// 8-4-4-4-12. format() writes upper-case digits with braces; parse() takes either
// case, with or without the braces, and nothing else (no spaces, no other layouts).
//
// The layout is fixed (data1, data2, data3, data4[8]) and standard-layout, because a
// Guid crosses the plain C exports of a component library by pointer.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/component/hex_digit.h"

namespace vort::component {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    // The Guid written in text, or nothing when the text is not exactly a Guid.
    static constexpr std::optional<Guid> parse(std::string_view text);

    // A Guid constant from a literal, checked while compiling:
    //   constexpr Guid kClsid = Guid::literal("{F13FEC21-09B9-4F01-A9C7-801380D41B98}");
    // A malformed literal stops the build.
    static consteval Guid literal(std::string_view text) {
        std::optional<Guid> g = parse(text);
        if (!g)
            throw "malformed Guid literal";
        return *g;
    }

    // "{F13FEC21-09B9-4F01-A9C7-801380D41B98}".
    std::string format() const;
    bool isNull() const { return *this == Guid{}; }

    friend constexpr bool operator==(const Guid&, const Guid&) = default;
    friend constexpr auto operator<=>(const Guid&, const Guid&) = default;
};

// For unordered containers keyed by Guid.
struct GuidHash {
    size_t operator()(const Guid& g) const noexcept;
};

constexpr std::optional<Guid> Guid::parse(std::string_view text) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36)
        return std::nullopt;
    uint8_t bytes[16] = {};
    size_t n = 0;
    for (size_t i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return std::nullopt;
            continue;
        }
        int hi = hexDigitValue(text[i]);
        int lo = i + 1 < 36 ? hexDigitValue(text[i + 1]) : -1;
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
        ++i;
    }
    if (n != 16)
        return std::nullopt;
    Guid g;
    g.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
              bytes[3];
    g.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    g.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (size_t i = 0; i < 8; ++i)
        g.data4[i] = bytes[8 + i];
    return g;
}

} // namespace vort::component
