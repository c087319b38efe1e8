// A local file being sent: read in pieces at any offset, never whole, so memory stays
// flat whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace transvex {

class FileSource {
public:
    FileSource() = default;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource();

    // Opens a regular file for reading; false with a reason in error otherwise.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return fd_ >= 0; }
    void close();

    uint64_t size() const { return size_; }
    int64_t mtime() const { return mtime_; } // seconds since the epoch
    uint32_t mode() const { return mode_; }  // st_mode, type bits included

    // Reads up to len bytes at offset; fewer only at the end of the file; -1 on error.
    ssize_t read(uint64_t offset, uint8_t* buf, size_t len);
    // CRC-32 of the first len bytes (the whole file when len is 0 or beyond its end).
    std::optional<uint32_t> crc32Prefix(uint64_t len);

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    int64_t mtime_ = 0;
    uint32_t mode_ = 0;
};

} // namespace transvex
