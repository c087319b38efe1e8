#include "libs/transvex/file_record.h"

#include <cctype>
#include <cstring>

namespace transvex {

XferFileInfo emptyRecord() {
    XferFileInfo record;
    std::memset(&record, 0, sizeof record);
    return record;
}

bool setRecordName(XferFileInfo& record, std::string_view name) {
    if (name.size() >= sizeof record.fileName) {
        record.fileName[0] = '\0';
        return false;
    }
    std::memcpy(record.fileName, name.data(), name.size());
    record.fileName[name.size()] = '\0';
    return true;
}

std::string recordName(const XferFileInfo& record) {
    return std::string(record.fileName, strnlen(record.fileName, sizeof record.fileName));
}

void setRecordTime(XferFileInfo& record, int64_t epochSeconds) {
    record.year = record.month = record.day = 0;
    record.hour = record.minute = record.second = 0;
    if (epochSeconds <= 0) {
        return;
    }
    const time_t t = static_cast<time_t>(epochSeconds);
    struct tm tm {};
    if (localtime_r(&t, &tm) == nullptr) {
        return;
    }
    record.year = static_cast<int16_t>(tm.tm_year + 1900);
    record.month = static_cast<int16_t>(tm.tm_mon + 1);
    record.day = static_cast<int16_t>(tm.tm_mday);
    record.hour = static_cast<int16_t>(tm.tm_hour);
    record.minute = static_cast<int16_t>(tm.tm_min);
    record.second = static_cast<int16_t>(tm.tm_sec);
}

std::optional<int64_t> recordTime(const XferFileInfo& record) {
    if (record.month < 1 || record.month > 12 || record.day < 1 || record.day > 31 ||
        record.year < 1970 || record.hour < 0 || record.hour > 23 || record.minute < 0 ||
        record.minute > 59 || record.second < 0 || record.second > 61) {
        return std::nullopt;
    }
    struct tm tm {};
    tm.tm_year = record.year - 1900;
    tm.tm_mon = record.month - 1;
    tm.tm_mday = record.day;
    tm.tm_hour = record.hour;
    tm.tm_min = record.minute;
    tm.tm_sec = record.second;
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    if (t == static_cast<time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<int64_t>(t);
}

int32_t recordSize(uint64_t size) {
    return static_cast<int32_t>(static_cast<uint32_t>(size));
}

std::string normalizeSeparators(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '\\') {
            c = '/';
        }
    }
    return out;
}

std::optional<CallName> parseCallName(const char* buffer) {
    if (buffer == nullptr) {
        return std::nullopt;
    }
    const size_t len = strnlen(buffer, XFER_NAME_SIZE);
    if (len == XFER_NAME_SIZE) {
        return std::nullopt;
    }
    const std::string_view all(buffer, len);
    const size_t comma = all.find(',');
    CallName out;
    out.path = normalizeSeparators(all.substr(0, comma));
    if (comma == std::string_view::npos) {
        return out;
    }
    const std::string_view suffix = all.substr(comma + 1);
    for (size_t i = 0; i < suffix.size(); ++i) {
        switch (std::toupper(static_cast<unsigned char>(suffix[i]))) {
        case 'E':
            out.options |= XFER_OPT_ESCAPE_CONTROL;
            break;
        case 'P':
            out.keepExisting = true;
            break;
        case 'R':
            out.options |= XFER_OPT_RESUME;
            break;
        case 'K':
            out.options |= XFER_OPT_1K_BLOCKS;
            break;
        case 'S':
            out.options |= XFER_OPT_SHORT_BLOCKS;
            break;
        case 'Z':
            out.options |= XFER_OPT_KEEP_SUB;
            break;
        case 'T': {
            int n = 0;
            size_t j = i + 1;
            while (j < suffix.size() && std::isdigit(static_cast<unsigned char>(suffix[j])) &&
                   n < 100000) {
                n = n * 10 + (suffix[j] - '0');
                ++j;
            }
            if (j > i + 1 && n > 0) {
                out.silenceSeconds = n;
            }
            i = j - 1;
            break;
        }
        default:
            break; // other letters and commas belong to callers' own conventions
        }
    }
    return out;
}

} // namespace transvex
