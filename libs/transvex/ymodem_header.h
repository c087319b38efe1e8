// The file header that YMODEM's block 0 and ZMODEM's ZFILE subpacket both carry:
// the file name, a NUL, then "size mtime mode ..." (size decimal, time in seconds
// since the epoch and mode in octal), ended by a NUL or the block's end. A block
// whose name is empty ends a YMODEM batch.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace transvex {

struct FileHeader {
    std::string name;             // as the sender gave it, not yet confined
    std::optional<uint64_t> size; // absent when the sender gave none
    int64_t mtime = 0;            // 0 when absent or unreadable
    uint32_t mode = 0;            // 0 when absent or unreadable
};

struct ParsedFileHeader {
    enum class Result {
        Ok,
        EndOfBatch, // empty name
        Invalid,    // unterminated name, or a size that is not a decimal number
    };
    Result result = Result::Invalid;
    FileHeader header;
};

ParsedFileHeader parseFileHeader(std::span<const uint8_t> block);

// name NUL "size mtime mode" NUL, without padding.
std::vector<uint8_t> buildFileHeader(const std::string& name, uint64_t size, int64_t mtime,
                                     uint32_t mode);
// A YMODEM block 0 payload: the header padded with NULs to 128 bytes, or to 1024 when
// it does not fit in 128. Empty name: the all-NUL block that ends a batch.
std::vector<uint8_t> buildYmodemHeaderBlock(const std::string& name, uint64_t size, int64_t mtime,
                                            uint32_t mode);

} // namespace transvex
