// Variant: the value type that crosses the dispatch interface.
//
// It holds one of the automation types the control's interface uses: empty, I1,
// UI1, I2, I4, BOOL, BSTR (UTF-16 text), a byte array (VT_ARRAY | VT_UI1), or a
// reference to another Variant owned by the caller (VT_BYREF | VT_VARIANT), through
// which a method hands a value back.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vort::component {

// Automation type codes, as hosts and type information name them.
enum VarType : uint16_t {
    VT_EMPTY = 0,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

class Variant {
public:
    using Bytes = std::vector<uint8_t>;

    Variant() = default;
    static Variant i1(int8_t v) { return Variant(Value(std::in_place_index<1>, v)); }
    static Variant ui1(uint8_t v) { return Variant(Value(std::in_place_index<2>, v)); }
    static Variant i2(int16_t v) { return Variant(Value(std::in_place_index<3>, v)); }
    static Variant i4(int32_t v) { return Variant(Value(std::in_place_index<4>, v)); }
    static Variant boolean(bool v) { return Variant(Value(std::in_place_index<5>, v)); }
    static Variant bstr(std::u16string v) {
        return Variant(Value(std::in_place_index<6>, std::move(v)));
    }
    static Variant bytes(Bytes v) { return Variant(Value(std::in_place_index<7>, std::move(v))); }
    // A reference to target, which must outlive this Variant.
    static Variant byRef(Variant* target) { return Variant(Value(std::in_place_index<8>, target)); }

    // The automation type code (VT_ARRAY | VT_UI1 for bytes, VT_BYREF | VT_VARIANT
    // for a reference).
    uint16_t type() const;
    bool isEmpty() const { return value_.index() == 0; }
    bool isText() const { return value_.index() == 6; }
    bool isBytes() const { return value_.index() == 7; }
    bool isRef() const { return value_.index() == 8; }

    // Coercions as automation performs them: numbers and Booleans convert to each
    // other (true is -1), texts holding a decimal number convert to numbers and
    // "True"/"False" to Booleans. They return false when the value does not convert
    // or, for the integers, does not fit.
    bool toI4(int32_t& out) const;
    bool toI2(int16_t& out) const;
    bool toBool(bool& out) const;
    // Numbers and Booleans give their decimal or "True"/"False" text.
    bool toText(std::u16string& out) const;

    // Accessors for a value known to be of that kind; others give an empty value.
    const std::u16string& text() const;
    const Bytes& byteArray() const;
    Variant* ref() const { return isRef() ? std::get<8>(value_) : nullptr; }

    bool operator==(const Variant& other) const { return value_ == other.value_; }

private:
    using Value = std::variant<std::monostate, int8_t, uint8_t, int16_t, int32_t, bool,
                               std::u16string, Bytes, Variant*>;
    explicit Variant(Value v) : value_(std::move(v)) {}
    Value value_;
};

} // namespace vort::component
