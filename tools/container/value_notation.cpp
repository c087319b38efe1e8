#include "tools/container/value_notation.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "platform/component/hex_digit.h"

namespace vort::container {

using component::Variant;

namespace {

bool fail(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
    return false;
}

// Decodes one UTF-8 character at text[i] into code point cp, advancing i. Strict:
// no overlong forms, no surrogates, nothing above U+10FFFF.
bool decodeUtf8(std::string_view text, size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    if (i + extra >= text.size())
        return false;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    i += extra + 1;
    return true;
}

bool parseText(std::string_view token, Variant& out, std::string* error) {
    if (token.size() < 2 || token.back() != '"')
        return fail(error, "the text has no closing quote");
    const std::string_view body = token.substr(1, token.size() - 2);
    std::u16string text;
    for (size_t i = 0; i < body.size();) {
        const char c = body[i];
        if (c == '"')
            return fail(error, "a quote inside a text must be written \\\"");
        if (c == '\\') {
            if (i + 1 >= body.size())
                return fail(error,
                            "the text ends in a lone backslash (write \\\\ for a backslash)");
            const char e = body[i + 1];
            if (e == '\\' || e == '"') {
                text += static_cast<char16_t>(e);
                i += 2;
            } else if (e == 'x' || e == 'u') {
                const size_t digits = e == 'x' ? 2 : 4;
                if (i + 2 + digits > body.size())
                    return fail(error, std::string("\\") + e + " needs " + std::to_string(digits) +
                                           " hexadecimal digits");
                unsigned value = 0;
                for (size_t k = 0; k < digits; ++k) {
                    const int d = component::hexDigitValue(body[i + 2 + k]);
                    if (d < 0)
                        return fail(error, std::string("\\") + e + " needs " +
                                               std::to_string(digits) + " hexadecimal digits");
                    value = value * 16 + static_cast<unsigned>(d);
                }
                text += static_cast<char16_t>(value);
                i += 2 + digits;
            } else {
                return fail(error, std::string("unknown escape \\") +
                                       (e >= 0x20 && e < 0x7F ? std::string(1, e) : "?") +
                                       " (use \\\\, \\\", \\xNN or \\uXXXX)");
            }
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            return fail(error, "a control character inside a text must be written \\xNN");
        char32_t cp = 0;
        if (!decodeUtf8(body, i, cp))
            return fail(error, "the text is not valid UTF-8 (write bytes as \\xNN)");
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text += static_cast<char16_t>(0xD800 + (cp >> 10));
            text += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            text += static_cast<char16_t>(cp);
        }
    }
    out = Variant::bstr(std::move(text));
    return true;
}

bool parseBytes(std::string_view hex, Variant& out, std::string* error) {
    if (hex.size() % 2 != 0)
        return fail(error, "bytes: needs two hexadecimal digits per byte");
    Variant::Bytes bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = component::hexDigitValue(hex[i]), lo = component::hexDigitValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return fail(error, "bytes: takes hexadecimal digits only");
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    out = Variant::bytes(std::move(bytes));
    return true;
}

bool parseInteger(std::string_view token, Variant& out, std::string* error) {
    std::string_view digits = token;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+'))
        digits.remove_prefix(1);
    if (digits.empty())
        return fail(error, "a sign without digits");
    for (char c : digits)
        if (c < '0' || c > '9')
            return fail(error,
                        "not a value: write an integer, true, false, \"text\", bytes:HEX or empty");
    int64_t n = 0;
    const char* first = token.data() + (token[0] == '+' ? 1 : 0);
    const auto [end, ec] = std::from_chars(first, token.data() + token.size(), n);
    if (ec != std::errc() || end != token.data() + token.size() ||
        n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
        return fail(error, "the integer is out of range (32 bits at most)");
    if (n >= std::numeric_limits<int16_t>::min() && n <= std::numeric_limits<int16_t>::max())
        out = Variant::i2(static_cast<int16_t>(n));
    else
        out = Variant::i4(static_cast<int32_t>(n));
    return true;
}

void appendHex(std::string& s, unsigned value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        s += kHex[(value >> shift) & 0xF];
}

} // namespace

std::optional<Variant> parseValue(std::string_view token, std::string* error) {
    Variant v;
    if (token.empty()) {
        fail(error, "a value is missing");
        return std::nullopt;
    }
    bool ok = false;
    if (token == "true" || token == "false") {
        v = Variant::boolean(token == "true");
        ok = true;
    } else if (token == "empty") {
        ok = true;
    } else if (token.front() == '"') {
        ok = parseText(token, v, error);
    } else if (token.starts_with("bytes:")) {
        ok = parseBytes(token.substr(6), v, error);
    } else {
        ok = parseInteger(token, v, error);
    }
    if (!ok)
        return std::nullopt;
    return v;
}

std::string formatValue(const Variant& value) {
    if (const Variant* target = value.ref())
        return formatValue(*target);
    if (value.isEmpty())
        return "empty";
    if (value.isText()) {
        std::string s = "\"";
        for (char16_t c : value.text()) {
            if (c == u'\\')
                s += "\\\\";
            else if (c == u'"')
                s += "\\\"";
            else if (c >= 0x20 && c <= 0x7E)
                s += static_cast<char>(c);
            else if (c <= 0xFF) {
                s += "\\x";
                appendHex(s, c, 2);
            } else {
                s += "\\u";
                appendHex(s, c, 4);
            }
        }
        return s + "\"";
    }
    if (value.isBytes()) {
        std::string s = "bytes:";
        for (uint8_t b : value.byteArray())
            appendHex(s, b, 2);
        return s;
    }
    if (value.type() == component::VT_BOOL) {
        bool b = false;
        value.toBool(b);
        return b ? "true" : "false";
    }
    int32_t n = 0;
    if (value.toI4(n))
        return std::to_string(n);
    return "empty";
}

} // namespace vort::container
