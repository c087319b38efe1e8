#include "libs/link3964/file_records.h"

namespace link3964 {

namespace {

void putLe(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t getLe(std::span<const std::uint8_t> in, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<std::uint64_t>(in[at + i]) << (8 * i);
    return v;
}

} // namespace

std::vector<std::uint8_t> encodeNameRecord(std::uint64_t size, std::string_view name) {
    std::vector<std::uint8_t> out{kFileRecordName, kFileFormatVersion};
    putLe(out, size, 8);
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

std::vector<std::uint8_t> encodeDataRecord(std::uint64_t offset,
                                           std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out{kFileRecordData};
    out.reserve(9 + data.size());
    putLe(out, offset, 8);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<std::uint8_t> encodeEndRecord(std::uint64_t size, std::uint32_t crc) {
    std::vector<std::uint8_t> out{kFileRecordEnd};
    putLe(out, size, 8);
    putLe(out, crc, 4);
    return out;
}

std::optional<FileRecord> decodeFileRecord(std::span<const std::uint8_t> t) {
    if (t.empty())
        return std::nullopt;
    FileRecord r;
    r.kind = t[0];
    switch (r.kind) {
    case kFileRecordName: {
        if (t.size() < 11 || t.size() > 10 + kFileNameMax || t[1] != kFileFormatVersion)
            return std::nullopt;
        r.value = getLe(t, 2, 8);
        r.name.assign(t.begin() + 10, t.end());
        return r;
    }
    case kFileRecordData:
        if (t.size() < 10 || t.size() > 9 + kFileDataMax)
            return std::nullopt;
        r.value = getLe(t, 1, 8);
        r.data = t.subspan(9);
        return r;
    case kFileRecordEnd:
        if (t.size() != 13)
            return std::nullopt;
        r.value = getLe(t, 1, 8);
        r.crc = static_cast<std::uint32_t>(getLe(t, 9, 4));
        return r;
    default:
        return std::nullopt;
    }
}

std::optional<std::string> confineReceivedName(std::string_view sent) {
    std::size_t cut = sent.find_last_of("/\\");
    std::string_view last = cut == std::string_view::npos ? sent : sent.substr(cut + 1);
    if (last.empty() || last == "." || last == ".." || last.size() > kFileNameMax)
        return std::nullopt;
    for (unsigned char c : last) {
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
    }
    return std::string(last);
}

} // namespace link3964
