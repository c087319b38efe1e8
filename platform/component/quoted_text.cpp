#include "platform/component/quoted_text.h"

#include <cstdio>

#include "platform/component/hex_digit.h"

namespace vort::component {

namespace {

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The escape of a character that has a short one, or nullptr.
const char* shortEscape(uint32_t c) {
    switch (c) {
    case '\\':
        return "\\\\";
    case '"':
        return "\\\"";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        return nullptr;
    }
}

std::string where(size_t pos) {
    return " at offset " + std::to_string(pos);
}

// Shared reader: escapes common to both forms are handled here, the form-specific
// ones (\u for texts, \x for bytes) and raw characters by the callbacks.
template <class Raw, class Unit, class Byte>
bool readQuoted(std::string_view in, size_t& pos, std::string& error, Raw raw, Unit unit,
                Byte byte) {
    if (pos >= in.size() || in[pos] != '"') {
        error = "expected a quoted text" + where(pos);
        return false;
    }
    size_t i = pos + 1;
    while (i < in.size()) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c < 0x20) {
            error = "control character in a quoted text" + where(i) + " (it must be escaped)";
            return false;
        }
        if (c != '\\') {
            size_t len = utf8SequenceLength(in, i);
            if (len == 0) {
                error = "invalid UTF-8 in a quoted text" + where(i);
                return false;
            }
            raw(in.substr(i, len));
            i += len;
            continue;
        }
        if (i + 1 >= in.size())
            break;
        char e = in[i + 1];
        switch (e) {
        case '\\':
            raw("\\");
            i += 2;
            continue;
        case '"':
            raw("\"");
            i += 2;
            continue;
        case 'n':
            raw("\n");
            i += 2;
            continue;
        case 'r':
            raw("\r");
            i += 2;
            continue;
        case 't':
            raw("\t");
            i += 2;
            continue;
        case 'u':
        case 'x': {
            size_t digits = e == 'u' ? 4 : 2;
            uint32_t v = 0;
            for (size_t k = 0; k < digits; ++k) {
                if (i + 2 + k >= in.size()) {
                    error = "unterminated quoted text starting" + where(pos);
                    return false;
                }
                int h = hexDigitValue(in[i + 2 + k]);
                if (h < 0) {
                    error = std::string("malformed \\") + e + " escape" + where(i);
                    return false;
                }
                v = v * 16 + static_cast<uint32_t>(h);
            }
            bool ok = e == 'u' ? unit(static_cast<char16_t>(v)) : byte(static_cast<char>(v));
            if (!ok) {
                error = std::string("\\") + e + " escape not allowed here" + where(i);
                return false;
            }
            i += 2 + digits;
            continue;
        }
        default:
            error = std::string("unknown escape \\") + e + where(i);
            return false;
        }
        break; // an escape cut off by the end of the input
    }
    error = "unterminated quoted text starting" + where(pos);
    return false;
}

} // namespace

size_t utf8SequenceLength(std::string_view s, size_t pos, uint32_t* codePoint) {
    if (pos >= s.size())
        return 0;
    auto at = [&](size_t k) { return static_cast<unsigned char>(s[pos + k]); };
    auto cont = [&](size_t k) { return pos + k < s.size() && (at(k) & 0xC0) == 0x80; };
    unsigned char c = at(0);
    uint32_t cp = 0;
    size_t len = 0;
    if (c < 0x80) {
        cp = c;
        len = 1;
    } else if ((c & 0xE0) == 0xC0 && cont(1)) {
        cp = ((c & 0x1Fu) << 6) | (at(1) & 0x3Fu);
        len = cp >= 0x80 ? 2 : 0;
    } else if ((c & 0xF0) == 0xE0 && cont(1) && cont(2)) {
        cp = ((c & 0x0Fu) << 12) | ((at(1) & 0x3Fu) << 6) | (at(2) & 0x3Fu);
        len = (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) ? 3 : 0;
    } else if ((c & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
        cp = ((c & 0x07u) << 18) | ((at(1) & 0x3Fu) << 12) | ((at(2) & 0x3Fu) << 6) |
             (at(3) & 0x3Fu);
        len = (cp >= 0x10000 && cp <= 0x10FFFF) ? 4 : 0;
    }
    if (len && codePoint)
        *codePoint = cp;
    return len;
}

std::string quoteText(std::u16string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (const char* esc = shortEscape(c)) {
            out += esc;
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            char buf[8]; // a lone surrogate has no UTF-8 form; keep it exactly
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        } else {
            appendUtf8(out, c);
        }
    }
    out += '"';
    return out;
}

std::string quoteBytes(std::string_view bytes) {
    std::string out = "\"";
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (const char* esc = shortEscape(c)) {
            out += esc;
            ++i;
            continue;
        }
        size_t len = c >= 0x20 && c != 0x7F ? utf8SequenceLength(bytes, i) : 0;
        if (len == 0) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    out += '"';
    return out;
}

bool unquoteText(std::string_view in, size_t& pos, std::u16string& out, std::string& error) {
    out.clear();
    return readQuoted(
        in, pos, error,
        [&](std::string_view utf8) {
            uint32_t cp = 0;
            utf8SequenceLength(utf8, 0, &cp);
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                out.push_back(static_cast<char16_t>(cp));
            }
        },
        [&](char16_t unit) {
            out.push_back(unit);
            return true;
        },
        [](char) { return false; });
}

bool unquoteBytes(std::string_view in, size_t& pos, std::string& out, std::string& error) {
    out.clear();
    return readQuoted(
        in, pos, error, [&](std::string_view utf8) { out.append(utf8); },
        [](char16_t) { return false; },
        [&](char b) {
            out.push_back(b);
            return true;
        });
}

} // namespace vort::component
