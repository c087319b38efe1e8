#pragma once

#include <cstdint>
#include <string>

#include "libs/link3964/port_channel.h"

namespace link3964 {

// How long a file sender keeps asking a receiver that is not ready yet, and how long
// a receiver waits for a file to begin.
inline constexpr Millis kFileStartWaitMs = 30'000;

// The path a caller means: '\' taken as '/', and the option suffix (a comma and all
// after it) cut off.
std::string localPath(const char* fileName);

// One file over the channel; the caller holds the channel's operation lock.
// Both return LINK3964_OK or a failure status (formats in link3964.h).
std::int32_t sendFile(PortChannel& channel, const std::string& path);
std::int32_t receiveFile(PortChannel& channel, const std::string& path);

} // namespace link3964
