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
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/component/property_exchange.h"

namespace vort::component {

class TextPropertyBagReader final : public PropertyExchange {
public:
    // Parses text at once: a damaged bag is failed() before the first exchange.
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
    struct Item {
        std::string name;
        std::string bare;    // the value as written, when not quoted
        std::u16string text; // the decoded value, when quoted
        bool quoted = false;
        size_t line = 0;
        bool used = false;
    };
    // The item called name, marked used; nullptr when absent or after a failure.
    Item* take(std::string_view name);
    bool integer(std::string_view name, const Item& item, int64_t min, int64_t max, int64_t& out);
    void parse(std::string_view text);

    std::vector<Item> items_;
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
