// What a send call leaves open on a comm id for the call of the next file: a ZMODEM
// session whose receiver waits for the next ZFILE, or a YMODEM batch whose receiver
// waits for the next header block.
//
// The next transfer call on the comm id takes it, whatever that call is, so only the
// call right after continues a session. A session left more than kOpenSessionMs ago
// is not continued (the job that left it has ended; a new one opens its own), and
// XferAbort forgets it. Thread-safe.
#pragma once

#include "libs/transvex/zmodem_sender.h"

#include <cstdint>
#include <optional>

namespace transvex {

inline constexpr uint64_t kOpenSessionMs = 20000;

struct OpenSession {
    enum class Kind { Zmodem, YmodemBatch };
    Kind kind = Kind::Zmodem;
    ZmodemSession zmodem;  // Kind::Zmodem only
    uint64_t leftAtMs = 0; // monotonicMs() when the call returned
};

void leaveSessionOpen(int32_t commId, const OpenSession& session);
// Removes and returns the session left on commId, unless it is older than kOpenSessionMs.
std::optional<OpenSession> takeOpenSession(int32_t commId, uint64_t nowMs);
void forgetOpenSession(int32_t commId);

} // namespace transvex
