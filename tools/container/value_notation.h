// The container script's value notation: how a value is written in a script and how
// the container prints one.
//
//   42  -7          a decimal integer: I2 when it fits 16 bits, else I4 (32 bits)
//   true  false     a Boolean
//   "AB\x0D\\\""    a text: \\ a backslash, \" a quote, \xNN the character (byte)
//                   NN, \uXXXX the UTF-16 code unit XXXX; other characters as
//                   written (the script is UTF-8)
//   bytes:4142FF    a byte array, two hexadecimal digits per byte (bytes: alone is
//                   an empty array)
//   empty           no value
//
// Printing uses the same notation, so a printed value can be pasted back into a
// script: texts escape \ and ", write bytes below 0x20 and from 0x7F to 0xFF as \xNN
// and code units above 0xFF as \uXXXX; byte arrays print in upper-case hexadecimal.
// Plain C++, no Qt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/component/variant.h"

namespace vort::container {

// The value written in token, or nullopt with *error (may be null) saying what is
// wrong with it.
std::optional<component::Variant> parseValue(std::string_view token, std::string* error);

// The value in the notation above (a by-reference value prints its target).
std::string formatValue(const component::Variant& value);

} // namespace vort::container
