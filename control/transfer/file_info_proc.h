// FileInfoProc: the callback the transfer library calls from the transfer thread.
#pragma once

#include <cstdint>

#include "transvex/transvex.h"

extern "C" __attribute__((visibility("default"))) int32_t
FileInfoProc(int32_t commId, int32_t action, int32_t data, XferFileInfo* record);
