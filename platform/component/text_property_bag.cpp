#include "platform/component/text_property_bag.h"

#include <charconv>

#include "platform/component/quoted_text.h"
#include "platform/component/text.h"

namespace vort::component {

namespace {

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool parseInteger(std::string_view s, int64_t& out) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty() || s.size() > 20)
        return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

std::string lineText(size_t line) {
    return "line " + std::to_string(line) + ": ";
}

} // namespace

TextPropertyBagReader::TextPropertyBagReader(std::string_view text) {
    parse(text);
    if (failed())
        items_.clear(); // a damaged bag gives nothing but defaults
}

void TextPropertyBagReader::parse(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    size_t pos = 0, lineNo = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        std::string_view line = trimSpaces(raw);
        if (line.empty() || line.front() == '#')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return fail(lineText(lineNo) + "expected \"name = value\"");
        std::string_view name = trimSpaces(line.substr(0, eq));
        std::string_view value = trimSpaces(line.substr(eq + 1));
        if (!isPropertyName(name))
            return fail(lineText(lineNo) + "\"" + std::string(name.substr(0, 64)) +
                        "\" is not a property name");
        for (const Item& other : items_)
            if (equalsIgnoreCase(other.name, name))
                return fail(lineText(lineNo) + std::string(name) + " is given twice (also line " +
                            std::to_string(other.line) + ")");
        Item item;
        item.name = std::string(name);
        item.line = lineNo;
        if (!value.empty() && value.front() == '"') {
            size_t p = 0;
            std::string error;
            if (!unquoteText(value, p, item.text, error))
                return fail(lineText(lineNo) + std::string(name) + ": " + error);
            if (p != value.size())
                return fail(lineText(lineNo) + std::string(name) +
                            ": text after the closing quote");
            item.quoted = true;
        } else {
            for (char c : value) {
                if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
                    return fail(lineText(lineNo) + std::string(name) +
                                ": a value that is not a quoted text must be a single word of "
                                "printable ASCII");
            }
            if (value.empty())
                return fail(lineText(lineNo) + std::string(name) + ": no value");
            item.bare = std::string(value);
        }
        items_.push_back(std::move(item));
    }
}

TextPropertyBagReader::Item* TextPropertyBagReader::take(std::string_view name) {
    if (failed())
        return nullptr;
    for (Item& item : items_) {
        if (equalsIgnoreCase(item.name, name)) {
            item.used = true;
            return &item;
        }
    }
    return nullptr;
}

bool TextPropertyBagReader::integer(std::string_view name, const Item& item, int64_t min,
                                    int64_t max, int64_t& out) {
    if (item.quoted || !parseInteger(item.bare, out)) {
        fail(lineText(item.line) + std::string(name) + ": expected an integer");
        return false;
    }
    if (out < min || out > max) {
        fail(lineText(item.line) + std::string(name) + ": " + item.bare + " is out of range (" +
             std::to_string(min) + " to " + std::to_string(max) + ")");
        return false;
    }
    return true;
}

void TextPropertyBagReader::exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                                            uint16_t defMinor) {
    major = defMajor;
    minor = defMinor;
    const Item* item = take(kVersionName);
    if (!item)
        return;
    std::string_view v = item->bare;
    size_t dot = v.find('.');
    int64_t ma = 0, mi = 0;
    if (item->quoted || dot == std::string_view::npos || !parseInteger(v.substr(0, dot), ma) ||
        !parseInteger(v.substr(dot + 1), mi) || ma < 0 || ma > 0xFFFF || mi < 0 || mi > 0xFFFF) {
        fail(lineText(item->line) + std::string(kVersionName) + ": expected major.minor");
        return;
    }
    major = static_cast<uint16_t>(ma);
    minor = static_cast<uint16_t>(mi);
}

void TextPropertyBagReader::exchange(std::string_view name, int16_t& value, int16_t def) {
    value = def;
    int64_t v = 0;
    if (const Item* item = take(name); item && integer(name, *item, INT16_MIN, INT16_MAX, v))
        value = static_cast<int16_t>(v);
}

void TextPropertyBagReader::exchange(std::string_view name, int32_t& value, int32_t def) {
    value = def;
    int64_t v = 0;
    if (const Item* item = take(name); item && integer(name, *item, INT32_MIN, INT32_MAX, v))
        value = static_cast<int32_t>(v);
}

void TextPropertyBagReader::exchange(std::string_view name, bool& value, bool def) {
    value = def;
    const Item* item = take(name);
    if (!item)
        return;
    int64_t v = 0;
    if (!item->quoted && equalsIgnoreCase(item->bare, "true"))
        value = true;
    else if (!item->quoted && equalsIgnoreCase(item->bare, "false"))
        value = false;
    else if (!item->quoted && parseInteger(item->bare, v))
        value = v != 0;
    else
        fail(lineText(item->line) + std::string(name) + ": expected True or False");
}

void TextPropertyBagReader::exchange(std::string_view name, std::u16string& value,
                                     std::u16string_view def) {
    value.assign(def);
    const Item* item = take(name);
    if (!item)
        return;
    if (!item->quoted) {
        fail(lineText(item->line) + std::string(name) + ": expected a quoted text");
        return;
    }
    value = item->text;
}

std::vector<std::string> TextPropertyBagReader::unusedNames() const {
    std::vector<std::string> out;
    for (const Item& item : items_)
        if (!item.used)
            out.push_back(item.name);
    return out;
}

void TextPropertyBagWriter::line(std::string_view name, const std::string& value) {
    if (!isPropertyName(name)) {
        fail("\"" + std::string(name) + "\" is not a property name");
        return;
    }
    text_.append(name);
    text_ += " = ";
    text_ += value;
    text_ += '\n';
}

void TextPropertyBagWriter::exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t, uint16_t) {
    line(kVersionName, std::to_string(major) + "." + std::to_string(minor));
}

void TextPropertyBagWriter::exchange(std::string_view name, int16_t& value, int16_t) {
    line(name, std::to_string(value));
}

void TextPropertyBagWriter::exchange(std::string_view name, int32_t& value, int32_t) {
    line(name, std::to_string(value));
}

void TextPropertyBagWriter::exchange(std::string_view name, bool& value, bool) {
    line(name, value ? "True" : "False");
}

void TextPropertyBagWriter::exchange(std::string_view name, std::u16string& value,
                                     std::u16string_view) {
    line(name, quoteText(value));
}

} // namespace vort::component
