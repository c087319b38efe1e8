#include "libs/transvex/file_source.h"

#include "libs/transvex/crc32.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace transvex {

FileSource::~FileSource() {
    close();
}

void FileSource::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool FileSource::open(const std::string& path, std::string& error) {
    close();
    if (path.empty()) {
        error = "no file name given";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        ::close(fd);
        return false;
    }
    // Reading a regular file never blocks; the flag only kept a FIFO from hanging open().
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    fd_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
    mtime_ = static_cast<int64_t>(st.st_mtime);
    mode_ = static_cast<uint32_t>(st.st_mode);
    return true;
}

ssize_t FileSource::read(uint64_t offset, uint8_t* buf, size_t len) {
    size_t done = 0;
    while (done < len) {
        const ssize_t n = pread(fd_, buf + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

std::optional<uint32_t> FileSource::crc32Prefix(uint64_t len) {
    if (len == 0 || len > size_) {
        len = size_;
    }
    std::vector<uint8_t> buf(64 * 1024);
    uint32_t crc = crc32Init();
    uint64_t offset = 0;
    while (offset < len) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), len - offset));
        const ssize_t n = read(offset, buf.data(), want);
        if (n <= 0) {
            return std::nullopt;
        }
        crc = crc32Update(crc, std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
        offset += static_cast<uint64_t>(n);
    }
    return crc32Final(crc);
}

} // namespace transvex
