// Helpers around the file-info record handed to the caller's file-info procedure,
// and the file-name argument of the transfer calls.
#pragma once

#include "transvex/transvex.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace transvex {

// The record with every field zero.
XferFileInfo emptyRecord();
// Copies name into the record; false (record name left empty) when it does not fit.
bool setRecordName(XferFileInfo& record, std::string_view name);
std::string recordName(const XferFileInfo& record);
// Modification time as seconds since the epoch, shown in the record in local time;
// 0 leaves the time unknown (month 0).
void setRecordTime(XferFileInfo& record, int64_t epochSeconds);
// The record's time back as seconds since the epoch; nullopt when month is 0 or the
// fields make no date.
std::optional<int64_t> recordTime(const XferFileInfo& record);
// The record's size field: the low 32 bits of size, as the record is only 32 bits wide.
int32_t recordSize(uint64_t size);

// Paths from the caller may use '\' as separator.
std::string normalizeSeparators(std::string_view path);

// A transfer call's file-name argument split into the path and the suffix options.
struct CallName {
    std::string path;          // up to the first comma, separators normalised
    int32_t options = 0;       // XFER_OPT_* bits named by the suffix letters
    bool keepExisting = false; // suffix P: clear XFER_OPT_REPLACE
    int silenceSeconds = 10;   // suffix T<n>
};
// nullopt when the buffer is null or holds no NUL within XFER_NAME_SIZE bytes.
std::optional<CallName> parseCallName(const char* buffer);

} // namespace transvex
