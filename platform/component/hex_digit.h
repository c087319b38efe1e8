// One hexadecimal digit's value, for the readers of \xHH and \uXXXX escapes, GUIDs and
// hex-coded headers (the model's quoted texts, the container's value notation, the
// simulators' escaped bytes, ZMODEM's hex headers), so they all accept the same digits.
#pragma once

namespace vort::component {

// 0 to 15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for any other character.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace vort::component
