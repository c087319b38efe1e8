#include "libs/transvex/file_sink.h"

#include "libs/transvex/crc32.h"
#include "transvex/transvex.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace transvex {
namespace {

constexpr size_t kBufferSize = 64 * 1024;

} // namespace

std::optional<std::string> confineReceivedName(std::string_view raw) {
    if (raw.empty() || raw.size() >= XFER_NAME_SIZE) {
        return std::nullopt;
    }
    for (char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return std::nullopt;
        }
    }
    if (raw[0] == '/' || raw[0] == '\\' || (raw.size() >= 2 && raw[1] == ':')) {
        return std::nullopt;
    }
    std::string_view last;
    size_t start = 0;
    while (start <= raw.size()) {
        size_t end = raw.find_first_of("/\\", start);
        if (end == std::string_view::npos) {
            end = raw.size();
        }
        const std::string_view part = raw.substr(start, end - start);
        if (part == "..") {
            return std::nullopt;
        }
        last = part;
        start = end + 1;
    }
    if (last.empty() || last == ".") {
        return std::nullopt;
    }
    return std::string(last);
}

FileSink::~FileSink() {
    abandon();
}

bool FileSink::open(const std::string& path, Mode mode, std::string& error) {
    abandon();
    failed_ = false;
    if (path.empty()) {
        error = "no file name given";
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    if (mode == Mode::Replace) {
        flags |= O_TRUNC;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        error = path + ": " + (errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        ::close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    length_ = static_cast<uint64_t>(end);
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    return true;
}

bool FileSink::flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            failed_ = true;
            break;
        }
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
    return !failed_;
}

bool FileSink::write(std::span<const uint8_t> data) {
    if (fd_ < 0 || failed_) {
        return false;
    }
    if (buffer_.size() + data.size() > kBufferSize && !flush()) {
        return false;
    }
    if (data.size() >= kBufferSize) {
        buffer_.assign(data.begin(), data.end());
        if (!flush()) {
            return false;
        }
    } else {
        buffer_.insert(buffer_.end(), data.begin(), data.end());
    }
    length_ += data.size();
    return true;
}

bool FileSink::finish(int64_t mtime) {
    if (fd_ < 0) {
        return false;
    }
    bool ok = flush();
    if (ok && mtime > 0) {
        struct timespec times[2];
        times[0].tv_sec = static_cast<time_t>(mtime);
        times[0].tv_nsec = 0;
        times[1] = times[0];
        futimens(fd_, times);
    }
    if (::close(fd_) != 0) {
        ok = false;
    }
    fd_ = -1;
    return ok && !failed_;
}

std::optional<uint32_t> FileSink::crc32Prefix(uint64_t len) {
    if (fd_ < 0 || len > length_ || !flush()) {
        return std::nullopt;
    }
    // The sink writes only; the file is read through a second descriptor, which must
    // be the very file the sink holds.
    const int rd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
    if (rd < 0) {
        return std::nullopt;
    }
    struct stat a {
    }, b{};
    if (fstat(rd, &a) != 0 || fstat(fd_, &b) != 0 || a.st_dev != b.st_dev || a.st_ino != b.st_ino) {
        ::close(rd);
        return std::nullopt;
    }
    std::vector<uint8_t> buf(64 * 1024);
    uint32_t crc = crc32Init();
    uint64_t offset = 0;
    while (offset < len) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), len - offset));
        const ssize_t n = ::pread(rd, buf.data(), want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(rd);
            return std::nullopt;
        }
        crc = crc32Update(crc, std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
        offset += static_cast<uint64_t>(n);
    }
    ::close(rd);
    return crc32Final(crc);
}

bool FileSink::restart() {
    if (fd_ < 0) {
        return false;
    }
    buffer_.clear();
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    length_ = 0;
    return true;
}

void FileSink::abandon() {
    if (fd_ >= 0) {
        flush();
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace transvex
