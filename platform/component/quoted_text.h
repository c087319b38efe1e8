// Quoted texts in the model's text files (the text property bag, the registry file).
//
// A quoted text is enclosed in double quotes. Inside, these escapes stand for
// characters that cannot appear raw: \\ \" \n \r \t, \uXXXX (one UTF-16 code unit,
// exactly four hex digits; texts only) and \xHH (one byte; byte strings only). Any
// other character below 0x20 must be escaped; everything else is raw UTF-8.
//
// Texts (UTF-16) round-trip exactly, lone surrogates included (they are written as
// \uXXXX). Byte strings (file paths) round-trip exactly: valid UTF-8 stays readable,
// any other byte is written as \xHH.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vort::component {

std::string quoteText(std::u16string_view text);
std::string quoteBytes(std::string_view bytes);

// Read the quoted text that starts at in[pos] (which must be '"'). On success, out
// holds it and pos is just past the closing quote. On failure, error says why and
// where (offset within in), and pos and out are unspecified.
bool unquoteText(std::string_view in, size_t& pos, std::u16string& out, std::string& error);
bool unquoteBytes(std::string_view in, size_t& pos, std::string& out, std::string& error);

// The length of the well-formed UTF-8 sequence starting at s[pos] (1 to 4), or 0 for
// an ill-formed one (overlong forms, surrogates, values above U+10FFFF, truncation).
// codePoint, when given, receives the character.
size_t utf8SequenceLength(std::string_view s, size_t pos, uint32_t* codePoint = nullptr);

} // namespace vort::component
