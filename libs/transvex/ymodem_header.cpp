#include "libs/transvex/ymodem_header.h"

#include <cstdio>
#include <cstring>

namespace transvex {
namespace {

// Reads one space-separated token of digits in base (8 or 10); nullopt when the
// token holds anything else or overflows 63 bits. pos moves past the token.
std::optional<uint64_t> readNumber(std::span<const uint8_t> text, size_t& pos, unsigned base) {
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    const size_t start = pos;
    uint64_t value = 0;
    while (pos < text.size() && text[pos] != ' ') {
        const uint8_t c = text[pos];
        if (c < '0' || c >= '0' + base) {
            return std::nullopt;
        }
        if (value > (UINT64_MAX >> 1) / base) {
            return std::nullopt;
        }
        value = value * base + (c - '0');
        ++pos;
    }
    if (pos == start) {
        return std::nullopt;
    }
    return value;
}

bool onlySpaces(std::span<const uint8_t> text, size_t pos) {
    for (; pos < text.size(); ++pos) {
        if (text[pos] != ' ') {
            return false;
        }
    }
    return true;
}

} // namespace

ParsedFileHeader parseFileHeader(std::span<const uint8_t> block) {
    ParsedFileHeader out;
    if (block.empty() || block[0] == 0) {
        out.result = ParsedFileHeader::Result::EndOfBatch;
        return out;
    }
    const auto* nul = static_cast<const uint8_t*>(std::memchr(block.data(), 0, block.size()));
    if (nul == nullptr) {
        out.result = ParsedFileHeader::Result::Invalid;
        return out;
    }
    const size_t nameLen = static_cast<size_t>(nul - block.data());
    out.header.name.assign(reinterpret_cast<const char*>(block.data()), nameLen);
    std::span<const uint8_t> fields = block.subspan(nameLen + 1);
    const auto* end = static_cast<const uint8_t*>(std::memchr(fields.data(), 0, fields.size()));
    if (end != nullptr) {
        fields = fields.first(static_cast<size_t>(end - fields.data()));
    }
    size_t pos = 0;
    if (!onlySpaces(fields, 0)) {
        const auto size = readNumber(fields, pos, 10);
        if (!size) {
            out.result = ParsedFileHeader::Result::Invalid;
            return out;
        }
        out.header.size = size;
        // Time and mode are only informative: a value that does not read is left out.
        if (!onlySpaces(fields, pos)) {
            if (const auto mtime = readNumber(fields, pos, 8)) {
                out.header.mtime = static_cast<int64_t>(*mtime);
                if (!onlySpaces(fields, pos)) {
                    if (const auto mode = readNumber(fields, pos, 8)) {
                        out.header.mode = static_cast<uint32_t>(*mode & 0177777);
                    }
                }
            }
        }
    }
    out.result = ParsedFileHeader::Result::Ok;
    return out;
}

std::vector<uint8_t> buildFileHeader(const std::string& name, uint64_t size, int64_t mtime,
                                     uint32_t mode) {
    std::vector<uint8_t> out(name.begin(), name.end());
    out.push_back(0);
    char fields[80];
    const int n =
        std::snprintf(fields, sizeof fields, "%llu %llo %o", static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(mtime > 0 ? mtime : 0),
                      static_cast<unsigned>(mode & 0177777));
    out.insert(out.end(), fields, fields + n);
    out.push_back(0);
    return out;
}

std::vector<uint8_t> buildYmodemHeaderBlock(const std::string& name, uint64_t size, int64_t mtime,
                                            uint32_t mode) {
    std::vector<uint8_t> out;
    if (!name.empty()) {
        out = buildFileHeader(name, size, mtime, mode);
    }
    out.resize(out.size() <= 128 ? 128 : 1024, 0);
    return out;
}

} // namespace transvex
