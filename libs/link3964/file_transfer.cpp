#include "libs/link3964/file_transfer.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "libs/link3964/control_chars.h"
#include "libs/link3964/crc32.h"
#include "libs/link3964/file_records.h"
#include "link3964/link3964.h"

namespace link3964 {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

ssize_t readSome(int fd, std::uint8_t* data, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

std::string lastComponent(const std::string& path) {
    std::size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Takes the records of one file as they arrive, and decides for each whether it is
// acknowledged: data is on disk before its telegram is acknowledged.
class FileReceiver {
public:
    explicit FileReceiver(std::string path) : path_(std::move(path)) {}
    ~FileReceiver() { discard(); }

    bool done() const { return done_; }
    std::int32_t failure() const { return failure_; }

    bool accept(const std::vector<std::uint8_t>& telegram) {
        if (failure_ != LINK3964_OK)
            return false; // a refused file stays refused
        std::optional<FileRecord> rec = decodeFileRecord(telegram);
        if (!rec)
            return fail(LINK3964_FILE_PROTOCOL_ERROR);
        if (!open_)
            return rec->kind == kFileRecordName ? begin(*rec) : fail(LINK3964_FILE_PROTOCOL_ERROR);
        switch (rec->kind) {
        case kFileRecordName:
            // Our acknowledgement of it was lost and the sender repeats it.
            return received_ == 0 && rec->name == sentName_ ? true
                                                            : fail(LINK3964_FILE_PROTOCOL_ERROR);
        case kFileRecordData:
            return data(*rec);
        case kFileRecordEnd:
            return end(*rec);
        }
        return fail(LINK3964_FILE_PROTOCOL_ERROR);
    }

private:
    bool fail(std::int32_t status) {
        failure_ = status;
        discard();
        return false;
    }

    bool begin(const FileRecord& rec) {
        std::optional<std::string> name = confineReceivedName(rec.name);
        if (!name)
            return fail(LINK3964_FILE_PROTOCOL_ERROR);
        struct stat st {};
        bool isDir = path_.empty() || path_.back() == '/' ||
                     (::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        if (isDir) {
            std::string dir = path_.empty() ? std::string(".") : path_;
            if (dir.back() != '/')
                dir += '/';
            target_ = dir + *name;
        } else {
            target_ = path_;
        }
        partial_ = target_ + ".part";
        fd_.reset(::open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (fd_.get() < 0) {
            partial_.clear();
            return fail(LINK3964_FILE_ERROR);
        }
        sentName_ = rec.name;
        open_ = true;
        return true;
    }

    bool data(const FileRecord& rec) {
        if (rec.value == received_) {
            if (!writeAll(fd_.get(), rec.data.data(), rec.data.size()))
                return fail(LINK3964_FILE_ERROR);
            crc_ = crc32Update(crc_, rec.data);
            received_ += rec.data.size();
            lastRecordSize_ = rec.data.size();
            return true;
        }
        // The last record again: our acknowledgement was lost; it is on disk already.
        if (rec.value + rec.data.size() == received_ && rec.data.size() == lastRecordSize_)
            return true;
        return fail(LINK3964_FILE_PROTOCOL_ERROR);
    }

    bool end(const FileRecord& rec) {
        if (rec.value != received_ || rec.crc != crc_)
            return fail(LINK3964_FILE_PROTOCOL_ERROR);
        if (::fsync(fd_.get()) != 0 || !fd_.close() ||
            ::rename(partial_.c_str(), target_.c_str()) != 0)
            return fail(LINK3964_FILE_ERROR);
        partial_.clear();
        done_ = true;
        return true;
    }

    void discard() {
        fd_.close();
        if (!partial_.empty()) {
            ::unlink(partial_.c_str());
            partial_.clear();
        }
    }

    std::string path_;
    std::string target_;
    std::string partial_;
    std::string sentName_;
    FileDescriptor fd_;
    bool open_ = false;
    bool done_ = false;
    std::int32_t failure_ = LINK3964_OK;
    std::uint64_t received_ = 0;
    std::size_t lastRecordSize_ = 0;
    std::uint32_t crc_ = 0;
};

Millis recordWaitMs(const LinkTiming& t) {
    // The sender may spend all its attempts on one record before the next arrives.
    Millis perRecord = (t.connectAttempts + t.blockAttempts) * (t.ackDelayMs + t.charDelayMs);
    return std::max<Millis>(10'000, perRecord);
}

} // namespace

std::string localPath(const char* fileName) {
    std::string path(fileName);
    std::size_t comma = path.find(',');
    if (comma != std::string::npos)
        path.resize(comma);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::int32_t sendFile(PortChannel& channel, const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return LINK3964_FILE_ERROR;
    std::string name = lastComponent(path);
    if (!confineReceivedName(name))
        return LINK3964_FILE_ERROR;

    // The receiver may not be listening yet: keep asking for a while.
    std::vector<std::uint8_t> record =
        encodeNameRecord(static_cast<std::uint64_t>(st.st_size), name);
    Millis giveUp = monotonicMillis() + kFileStartWaitMs;
    std::int32_t status;
    do {
        status = channel.sendTelegram(record, true, true, true);
    } while (status == LINK3964_NO_CONNECTION && monotonicMillis() < giveUp);
    if (status != LINK3964_OK)
        return status;

    std::vector<std::uint8_t> buffer(kFileDataMax);
    std::uint64_t offset = 0;
    std::uint32_t crc = 0;
    for (;;) {
        ssize_t n = readSome(fd.get(), buffer.data(), buffer.size());
        if (n < 0)
            return LINK3964_FILE_ERROR;
        if (n == 0)
            break;
        std::span<const std::uint8_t> piece(buffer.data(), static_cast<std::size_t>(n));
        status = channel.sendTelegram(encodeDataRecord(offset, piece), true, true, true);
        if (status != LINK3964_OK)
            return status;
        crc = crc32Update(crc, piece);
        offset += static_cast<std::uint64_t>(n);
    }
    return channel.sendTelegram(encodeEndRecord(offset, crc), false, true, true);
}

std::int32_t receiveFile(PortChannel& channel, const std::string& path) {
    FileReceiver file(path);
    std::vector<std::uint8_t> buffer(kMaxTelegram);
    auto accept = [&file](const std::vector<std::uint8_t>& t, bool) { return file.accept(t); };

    Millis deadline = monotonicMillis() + kFileStartWaitMs;
    std::int32_t lastStatus = LINK3964_NOTHING_RECEIVED;
    while (!file.done() && file.failure() == LINK3964_OK) {
        Millis left = deadline - monotonicMillis();
        if (left <= 0)
            return lastStatus;
        ReceivedTelegram r = channel.receiveTelegram(buffer, left, true, accept);
        if (r.status == LINK3964_PORT_ERROR)
            return r.status;
        if (r.status == LINK3964_OK)
            deadline = monotonicMillis() + recordWaitMs(channel.timing());
        else if (r.status != LINK3964_FILE_PROTOCOL_ERROR)
            lastStatus = r.status; // broken block or noise: the sender repeats
    }
    if (file.done())
        return LINK3964_OK;

    // Refused: answer the sender's repeats with NAK until it gives up, so that its
    // records do not end up in whoever reads the line next.
    LinkTiming t = channel.timing();
    Millis drainEnd = monotonicMillis() + recordWaitMs(t);
    while (monotonicMillis() < drainEnd) {
        ReceivedTelegram r =
            channel.receiveTelegram(buffer, t.ackDelayMs + t.charDelayMs, true,
                                    [](const std::vector<std::uint8_t>&, bool) { return false; });
        if (r.status == LINK3964_NOTHING_RECEIVED || r.status == LINK3964_PORT_ERROR)
            break;
    }
    return file.failure();
}

} // namespace link3964
