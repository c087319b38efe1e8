#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace link3964 {

// The telegrams of a file transfer (integers little-endian):
//   'N' version(1) u64 size name[1..255]   the file's name (last path component)
//   'D' u64 offset data[1..kFileDataMax]   file data at offset
//   'E' u64 size u32 crc32                 end: total size and CRC-32 of the file
inline constexpr std::uint8_t kFileRecordName = 'N';
inline constexpr std::uint8_t kFileRecordData = 'D';
inline constexpr std::uint8_t kFileRecordEnd = 'E';
inline constexpr std::uint8_t kFileFormatVersion = 1;
inline constexpr std::size_t kFileDataMax = 2048;
inline constexpr std::size_t kFileNameMax = 255;

struct FileRecord {
    std::uint8_t kind = 0;
    std::uint64_t value = 0;            // Name, End: file size; Data: offset
    std::uint32_t crc = 0;              // End
    std::string name;                   // Name: as sent (not yet confined)
    std::span<const std::uint8_t> data; // Data: points into the decoded telegram
};

std::vector<std::uint8_t> encodeNameRecord(std::uint64_t size, std::string_view name);
std::vector<std::uint8_t> encodeDataRecord(std::uint64_t offset,
                                           std::span<const std::uint8_t> data);
std::vector<std::uint8_t> encodeEndRecord(std::uint64_t size, std::uint32_t crc);

// Nothing when the telegram is not a well-formed record of this format.
std::optional<FileRecord> decodeFileRecord(std::span<const std::uint8_t> telegram);

// The name a received file may take: the last component of the sent name ('/' and
// '\' both separate), or nothing when that is empty, ".", ".." or holds a control
// character.
std::optional<std::string> confineReceivedName(std::string_view sent);

} // namespace link3964
