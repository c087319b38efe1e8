// A local file being received: written through a fixed buffer, created without
// following a symbolic link, its modification time set when it is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace transvex {

// A sender's file name made safe to store: its last component, or nullopt when the
// name is empty, absolute (also "C:..."), has a ".." component, holds control
// characters, names no file ("dir/", ".") or does not fit the 512-byte name buffer.
// Both '/' and '\' separate components.
std::optional<std::string> confineReceivedName(std::string_view raw);

class FileSink {
public:
    enum class Mode {
        Replace, // start the file anew
        Resume,  // keep what the file holds and append
    };

    FileSink() = default;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink();

    bool open(const std::string& path, Mode mode, std::string& error);
    bool isOpen() const { return fd_ >= 0; }
    // Bytes the file holds, including those still buffered.
    uint64_t length() const { return length_; }
    bool write(std::span<const uint8_t> data);
    // Flushes and closes; sets the modification time when mtime > 0.
    bool finish(int64_t mtime);
    // Flushes what was written and closes, leaving the partial file for a resume.
    void abandon();
    // The CRC-32 of the file's first len bytes (len at most length()), read back from
    // the file; nullopt when it cannot be read.
    std::optional<uint32_t> crc32Prefix(uint64_t len);
    // Empties the file: what follows is written from offset 0.
    bool restart();
    const std::string& path() const { return path_; }

private:
    bool flush();

    int fd_ = -1;
    std::string path_;
    uint64_t length_ = 0;
    std::vector<uint8_t> buffer_;
    bool failed_ = false;
};

} // namespace transvex
