// The text property bag: a control's persisted properties as "name = value" lines, the
// form a host keeps in its stored window design.
//
//   _Version = 2.7
//   _ExtentX = 1000
//   CommPort = 2
//   DTREnable = True
//   Settings = "57600,N,8,1"
//
// UTF-8 text; a leading byte-order mark, blank lines, lines starting with '#' and
// spaces around names and values are ignored; lines end in LF or CR LF. Values:
//   I2, I4    decimal integer with optional sign, in range for the type
//   BOOL      True or False (any case); an integer is also read (0 false, else true)
//   text      a quoted text (quoted_text.h: \" \\ \n \r \t \uXXXX escapes)
//   version   major.minor
// The writer writes every exchanged property in exchange order. The reader looks names
// up without regard to ASCII case; a name the bag lacks takes the default, a name
// nobody asks for is ignored (see unusedNames). Damage, reported by failed()/error()
// with the line: a line without '=', a name that is no identifier, a name twice, an
// unterminated or malformed quoted text, invalid UTF-8, a value of the wrong kind or
// out of range.
//
// Loading takes time linear in the bag's size: names are found through a hash table,
// never by a scan of the lines read so far.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/component/property_exchange.h"

namespace vort::component {

class TextPropertyBagReader final : public PropertyExchange {
public:
    // Parses text at once: a damaged bag (or one of 4 GiB or more) is failed() before
    // the first exchange. The reader keeps its own copy of text.
    explicit TextPropertyBagReader(std::string_view text);

    bool isLoading() const override { return true; }
    void exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                         uint16_t defMinor) override;
    void exchange(std::string_view name, int16_t& value, int16_t def) override;
    void exchange(std::string_view name, int32_t& value, int32_t def) override;
    void exchange(std::string_view name, bool& value, bool def) override;
    void exchange(std::string_view name, std::u16string& value, std::u16string_view def) override;

    // Names in the bag that no exchange has asked for so far.
    std::vector<std::string> unusedNames() const;

private:
    // One "name = value" line, as offsets into text_ (small, so a bag of many lines
    // stays compact). A quoted value was checked when the bag was parsed and is decoded
    // when asked for.
    struct Item {
        uint32_t nameAt = 0, nameSize = 0;
        uint32_t valueAt = 0, valueSize = 0; // the value as written, quotes included
        uint32_t line = 0;
        uint32_t hash = 0; // of the name, letter case folded
        bool quoted = false;
        bool used = false;
    };
    std::string_view nameOf(const Item& item) const {
        return std::string_view(text_).substr(item.nameAt, item.nameSize);
    }
    std::string_view valueOf(const Item& item) const {
        return std::string_view(text_).substr(item.valueAt, item.valueSize);
    }
    // The item called name, marked used; nullptr when absent or after a failure.
    Item* take(std::string_view name);
    bool integer(std::string_view name, const Item& item, int64_t min, int64_t max, int64_t& out);
    void parse();
    // Reads the lines into items_ up to the first damaged one, whose description goes
    // to damage.
    void readItems(std::string& damage);
    // Puts every item into slots_; fails and returns false at a name given twice.
    bool indexItems();
    // The slot that holds the item called name (any ASCII case), or the empty slot
    // where it would go.
    size_t slotOf(std::string_view name, uint32_t hash) const;

    std::string text_;
    std::vector<Item> items_;
    // Open-addressed (linear probing) table of item indices + 1 (0: empty), a power of
    // two in size and at most half full. Four bytes a slot keep it small enough to stay
    // mostly in the caches.
    std::vector<uint32_t> slots_;
};

class TextPropertyBagWriter final : public PropertyExchange {
public:
    bool isLoading() const override { return false; }
    void exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                         uint16_t defMinor) override;
    void exchange(std::string_view name, int16_t& value, int16_t def) override;
    void exchange(std::string_view name, int32_t& value, int32_t def) override;
    void exchange(std::string_view name, bool& value, bool def) override;
    void exchange(std::string_view name, std::u16string& value, std::u16string_view def) override;

    // The bag written so far.
    const std::string& text() const { return text_; }

private:
    void line(std::string_view name, const std::string& value);
    std::string text_;
};

} // namespace vort::component
