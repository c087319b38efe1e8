// Text conversions between the interface's UTF-16 texts and the byte texts of the
// line, of files and of the system.
//
// The system code page is ISO-8859-1: one byte is one character, both ways. A UTF-16
// code unit above 0xFF keeps its low 8 bits on the way to bytes, as the line
// protocol expects. File system paths are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vort::component {

std::string toLatin1(std::u16string_view text);
std::u16string fromLatin1(std::string_view bytes);
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view bytes);

std::string toUpperAscii(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string trimmed(std::string_view s);

} // namespace vort::component
