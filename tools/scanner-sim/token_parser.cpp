#include "tools/scanner-sim/token_parser.h"

namespace scanner_sim {

namespace {

constexpr size_t kKeyLength = 6;

bool isKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// True when a token starts at pos: "<", six key characters, then "=" or ":".
bool tokenStartsAt(std::string_view s, size_t pos) {
    if (pos + kKeyLength + 2 > s.size() || s[pos] != '<')
        return false;
    for (size_t i = 1; i <= kKeyLength; ++i)
        if (!isKeyChar(s[pos + i]))
            return false;
    char sep = s[pos + kKeyLength + 1];
    return sep == '=' || sep == ':';
}

} // namespace

bool isFreeTextKey(std::string_view key) {
    return key == "PREFIX" || key == "SUFFIX" || key == "REGKEY";
}

TokenList parseTokens(std::string_view payload) {
    TokenList result;
    if (payload.empty()) {
        result.error = "empty frame";
        return result;
    }
    size_t pos = 0;
    while (pos < payload.size()) {
        if (!tokenStartsAt(payload, pos)) {
            result.error = "no token at byte " + std::to_string(pos);
            result.tokens.clear();
            return result;
        }
        Token token;
        token.key = std::string(payload.substr(pos + 1, kKeyLength));
        size_t valueStart = pos + kKeyLength + 2;
        if (payload[pos + kKeyLength + 1] == ':') {
            if (valueStart >= payload.size() || payload[valueStart] != '>') {
                result.error = "query " + token.key + " not closed by '>'";
                result.tokens.clear();
                return result;
            }
            token.query = true;
            result.tokens.push_back(std::move(token));
            pos = valueStart + 1;
            continue;
        }
        size_t end = std::string_view::npos;
        if (isFreeTextKey(token.key)) {
            for (size_t p = payload.find('>', valueStart); p != std::string_view::npos;
                 p = payload.find('>', p + 1)) {
                if (p + 1 == payload.size() || tokenStartsAt(payload, p + 1)) {
                    end = p;
                    break;
                }
            }
        } else {
            end = payload.find('>', valueStart);
            if (end != std::string_view::npos &&
                payload.substr(valueStart, end - valueStart).find('<') != std::string_view::npos)
                end = std::string_view::npos;
        }
        if (end == std::string_view::npos) {
            result.error = "value of " + token.key + " not closed by '>'";
            result.tokens.clear();
            return result;
        }
        token.value = std::string(payload.substr(valueStart, end - valueStart));
        result.tokens.push_back(std::move(token));
        pos = end + 1;
    }
    return result;
}

} // namespace scanner_sim
