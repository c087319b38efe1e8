#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace scanner_sim {

// One command token of a frame: "<" key "=" value ">" (write) or "<" key ":>" (query).
struct Token {
    std::string key; // six characters A-Z, 0-9
    bool query = false;
    std::string value; // empty for a query
};

// Result of cutting a frame's payload into tokens.
struct TokenList {
    std::vector<Token> tokens;
    std::string error; // empty when the whole payload was made of tokens
    bool ok() const { return error.empty(); }
};

// Keys whose value is free text and may hold '>' (PREFIX, SUFFIX, REGKEY).
bool isFreeTextKey(std::string_view key);

// Cuts a payload made of tokens written one after another with nothing between them.
// A fixed value ends at the first '>'. A free-text value ends at the first '>' that is
// the payload's last byte or is followed by the start of another token ("<" + six key
// characters + "=" or ":"), so a prefix such as "a>b" travels whole. Anything else
// (an empty payload, text between tokens, a key of the wrong size or with lower-case
// letters, a missing '>') is an error; no partial list is given then.
TokenList parseTokens(std::string_view payload);

} // namespace scanner_sim
