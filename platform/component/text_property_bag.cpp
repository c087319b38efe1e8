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

char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    return true;
}

// FNV-1a over the name with ASCII letters folded to lower case, then mixed so that
// the low bits the table uses depend on every character.
uint32_t nameHash(std::string_view name) {
    uint64_t h = 14695981039346656037ull;
    for (char c : name) {
        h ^= static_cast<unsigned char>(foldCase(c));
        h *= 1099511628211ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return static_cast<uint32_t>(h);
}

} // namespace

TextPropertyBagReader::TextPropertyBagReader(std::string_view text) {
    if (text.size() >= UINT32_MAX)
        fail("the bag is too large (" + std::to_string(text.size() >> 20) + " MiB)");
    else
        text_ = text;
    parse();
    if (failed()) { // a damaged bag gives nothing but defaults
        items_.clear();
        slots_.clear();
    }
}

size_t TextPropertyBagReader::slotOf(std::string_view name, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t held = slots_[i];
        if (held == 0)
            return i;
        const Item& item = items_[held - 1];
        if (item.hash == hash && sameName(nameOf(item), name))
            return i;
    }
}

void TextPropertyBagReader::parse() {
    // Two passes: the lines are read in order into items, then the names go into the
    // table in the same order, so the first damage in line order is the one reported.
    std::string damage;
    readItems(damage);
    if (indexItems() && !damage.empty())
        fail(std::move(damage));
}

void TextPropertyBagReader::readItems(std::string& damage) {
    std::string_view text = text_;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    // Room for lines of 16 bytes, shorter than most; a bag of shorter ones grows.
    items_.reserve(text.size() / 16 + 1);
    std::u16string decoded; // checks quoted values; reused, so the check costs no allocation
    std::string error;
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
        if (eq == std::string_view::npos) {
            damage = lineText(lineNo) + "expected \"name = value\"";
            return;
        }
        std::string_view name = trimSpaces(line.substr(0, eq));
        std::string_view value = trimSpaces(line.substr(eq + 1));
        if (!isPropertyName(name)) {
            damage = lineText(lineNo) + "\"" + std::string(name.substr(0, 64)) +
                     "\" is not a property name";
            return;
        }
        Item item;
        item.nameAt = static_cast<uint32_t>(name.data() - text_.data());
        item.nameSize = static_cast<uint32_t>(name.size());
        item.valueAt = static_cast<uint32_t>(value.data() - text_.data());
        item.valueSize = static_cast<uint32_t>(value.size());
        item.line = static_cast<uint32_t>(lineNo);
        item.hash = nameHash(name);
        if (!value.empty() && value.front() == '"') {
            size_t p = 0;
            if (!unquoteText(value, p, decoded, error)) {
                damage = lineText(lineNo) + std::string(name) + ": " + error;
                return;
            }
            if (p != value.size()) {
                damage = lineText(lineNo) + std::string(name) + ": text after the closing quote";
                return;
            }
            item.quoted = true;
        } else {
            for (char c : value) {
                if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) {
                    damage = lineText(lineNo) + std::string(name) +
                             ": a value that is not a quoted text must be a single word of "
                             "printable ASCII";
                    return;
                }
            }
            if (value.empty()) {
                damage = lineText(lineNo) + std::string(name) + ": no value";
                return;
            }
        }
        items_.push_back(item);
    }
}

bool TextPropertyBagReader::indexItems() {
    size_t tableSize = 16;
    while (tableSize < 2 * items_.size())
        tableSize *= 2;
    slots_.assign(tableSize, 0);
    const size_t mask = tableSize - 1;
    // A large table lives outside the caches: the slot of a name some items ahead is
    // fetched while this one goes in, so the misses overlap instead of adding up.
    constexpr size_t kAhead = 16;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i + kAhead < items_.size())
            __builtin_prefetch(&slots_[items_[i + kAhead].hash & mask]);
        const Item& item = items_[i];
        const size_t slot = slotOf(nameOf(item), item.hash);
        if (slots_[slot] != 0) {
            fail(lineText(item.line) + std::string(nameOf(item)) + " is given twice (also line " +
                 std::to_string(items_[slots_[slot] - 1].line) + ")");
            return false;
        }
        slots_[slot] = static_cast<uint32_t>(i + 1);
    }
    return true;
}

TextPropertyBagReader::Item* TextPropertyBagReader::take(std::string_view name) {
    if (failed() || slots_.empty())
        return nullptr;
    const uint32_t held = slots_[slotOf(name, nameHash(name))];
    if (held == 0)
        return nullptr;
    Item& item = items_[held - 1];
    item.used = true;
    return &item;
}

bool TextPropertyBagReader::integer(std::string_view name, const Item& item, int64_t min,
                                    int64_t max, int64_t& out) {
    if (item.quoted || !parseInteger(valueOf(item), out)) {
        fail(lineText(item.line) + std::string(name) + ": expected an integer");
        return false;
    }
    if (out < min || out > max) {
        fail(lineText(item.line) + std::string(name) + ": " + std::string(valueOf(item)) +
             " is out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
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
    std::string_view v = valueOf(*item);
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
    if (!item->quoted && equalsIgnoreCase(valueOf(*item), "true"))
        value = true;
    else if (!item->quoted && equalsIgnoreCase(valueOf(*item), "false"))
        value = false;
    else if (!item->quoted && parseInteger(valueOf(*item), v))
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
    size_t p = 0;
    std::string error;
    unquoteText(valueOf(*item), p, value, error); // checked when the bag was parsed
}

std::vector<std::string> TextPropertyBagReader::unusedNames() const {
    std::vector<std::string> out;
    for (const Item& item : items_)
        if (!item.used)
            out.emplace_back(nameOf(item));
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
