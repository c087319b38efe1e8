// File details as the transfer jobs exchange them with the transfer library: the
// date-time fields of the file-info record, and a local file's size and time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "transvex/transvex.h"

namespace vort {

struct LocalFileDetails {
    int64_t size = 0;
    int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0; // local time
};

// The size and last-write time of the regular file at path, or nothing.
std::optional<LocalFileDetails> localFileDetails(const std::string& path);

// Sets the access and modification times of the existing file at path from the
// record's local date-time fields. A file that cannot be changed is left alone.
void setFileTimes(const std::string& path, const XferFileInfo& record);

// The resume decision for a received file whose local copy exists: 1 receive it anew
// (the local copy is older, or larger), 0 skip it (same time and size), 2 continue the
// shorter local copy.
int32_t resumeDecision(const LocalFileDetails& local, const XferFileInfo& incoming);

} // namespace vort
