#include "control/transfer/file_times.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "serilon/serilon.h"

namespace vort {

std::optional<LocalFileDetails> localFileDetails(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    return LocalFileDetails{.size = static_cast<int64_t>(st.st_size),
                            .year = static_cast<int16_t>(tm.tm_year + 1900),
                            .month = static_cast<int16_t>(tm.tm_mon + 1),
                            .day = static_cast<int16_t>(tm.tm_mday),
                            .hour = static_cast<int16_t>(tm.tm_hour),
                            .minute = static_cast<int16_t>(tm.tm_min),
                            .second = static_cast<int16_t>(tm.tm_sec)};
}

void setFileTimes(const std::string& path, const XferFileInfo& r) {
    std::tm tm{};
    tm.tm_year = r.year - 1900;
    tm.tm_mon = r.month - 1;
    tm.tm_mday = r.day;
    tm.tm_hour = r.hour;
    tm.tm_min = r.minute;
    tm.tm_sec = r.second;
    tm.tm_isdst = -1;
    // The record's fields are local time, as the library reads and writes them; they
    // are taken to the second, so a file stored and offered again compares equal.
    const time_t when = std::mktime(&tm);
    if (when == static_cast<time_t>(-1))
        return;
    const timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int32_t resumeDecision(const LocalFileDetails& local, const XferFileInfo& in) {
    const int64_t localTime =
        SerialPackTime(local.year, local.month, local.day, local.hour, local.minute, local.second);
    const int64_t incomingTime =
        SerialPackTime(in.year, in.month, in.day, in.hour, in.minute, in.second);
    if (localTime < incomingTime)
        return XFER_RESULT_GO_ON;
    const int64_t incomingSize = static_cast<uint32_t>(in.size);
    if (local.size == incomingSize)
        return XFER_RESULT_STOP;
    return local.size < incomingSize ? XFER_RESULT_RESUME : XFER_RESULT_GO_ON;
}

} // namespace vort
