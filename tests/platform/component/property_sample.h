// A set of persisted fields of every exchanged type, and its exchange routine, for
// the persistence tests of both storage forms.
#pragma once

#include <string>

#include "platform/component/property_exchange.h"

namespace vort_test {

struct PropertySample {
    uint16_t major = 2, minor = 7;
    int16_t small = 2;
    int32_t big = 0;
    bool flag = true;
    bool other = false;
    std::u16string text = u"57600,N,8,1";
    std::u16string empty;

    void exchange(vort::component::PropertyExchange& px) {
        px.exchangeVersion(major, minor, 2, 7);
        px.exchange("Small", small, 2);
        px.exchange("Big", big, 0);
        px.exchange("Flag", flag, true);
        px.exchange("Other", other, false);
        px.exchange("Text", text, u"57600,N,8,1");
        px.exchange("Empty", empty, u"");
    }

    // Values far from the defaults, at the edges of their types.
    static PropertySample extremes() {
        PropertySample s;
        s.major = 65535;
        s.minor = 0;
        s.small = -32768;
        s.big = INT32_MIN;
        s.flag = false;
        s.other = true;
        s.text = u"quote \" backslash \\ tab \t nl \n cr \r nul ";
        s.text += char16_t(0);
        s.text += u" \u00e9\u20ac\U0001F600 lone:";
        s.text += char16_t(0xD800);
        s.empty = u"=#\"[]";
        return s;
    }

    friend bool operator==(const PropertySample&, const PropertySample&) = default;
};

} // namespace vort_test
