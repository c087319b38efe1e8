#include "platform/component/variant.h"

#include <charconv>
#include <limits>

#include "platform/component/text.h"

namespace vort::component {

uint16_t Variant::type() const {
    switch (value_.index()) {
    case 1:
        return VT_I1;
    case 2:
        return VT_UI1;
    case 3:
        return VT_I2;
    case 4:
        return VT_I4;
    case 5:
        return VT_BOOL;
    case 6:
        return VT_BSTR;
    case 7:
        return VT_ARRAY | VT_UI1;
    case 8:
        return VT_BYREF | VT_VARIANT;
    default:
        return VT_EMPTY;
    }
}

bool Variant::toI4(int32_t& out) const {
    switch (value_.index()) {
    case 0:
        out = 0;
        return true;
    case 1:
        out = std::get<1>(value_);
        return true;
    case 2:
        out = std::get<2>(value_);
        return true;
    case 3:
        out = std::get<3>(value_);
        return true;
    case 4:
        out = std::get<4>(value_);
        return true;
    case 5:
        out = std::get<5>(value_) ? -1 : 0;
        return true;
    case 6: {
        std::string s = trimmed(toLatin1(std::get<6>(value_)));
        if (equalsIgnoreCase(s, "true")) {
            out = -1;
            return true;
        }
        if (equalsIgnoreCase(s, "false")) {
            out = 0;
            return true;
        }
        if (!s.empty() && s[0] == '+')
            s.erase(0, 1);
        int64_t v = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (s.empty() || ec != std::errc() || end != s.data() + s.size())
            return false;
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            return false;
        out = static_cast<int32_t>(v);
        return true;
    }
    case 8:
        return std::get<8>(value_) && std::get<8>(value_)->toI4(out);
    default:
        return false;
    }
}

bool Variant::toI2(int16_t& out) const {
    int32_t v = 0;
    if (!toI4(v) || v < std::numeric_limits<int16_t>::min() ||
        v > std::numeric_limits<int16_t>::max())
        return false;
    out = static_cast<int16_t>(v);
    return true;
}

bool Variant::toBool(bool& out) const {
    int32_t v = 0;
    if (!toI4(v))
        return false;
    out = v != 0;
    return true;
}

bool Variant::toText(std::u16string& out) const {
    if (isText()) {
        out = text();
        return true;
    }
    if (isRef())
        return ref() && ref()->toText(out);
    if (value_.index() == 5) {
        out = std::get<5>(value_) ? u"True" : u"False";
        return true;
    }
    int32_t v = 0;
    if (isBytes() || !toI4(v))
        return false;
    if (isEmpty()) {
        out.clear();
        return true;
    }
    out = fromLatin1(std::to_string(v));
    return true;
}

const std::u16string& Variant::text() const {
    static const std::u16string empty;
    return isText() ? std::get<6>(value_) : empty;
}

const Variant::Bytes& Variant::byteArray() const {
    static const Bytes empty;
    return isBytes() ? std::get<7>(value_) : empty;
}

} // namespace vort::component
