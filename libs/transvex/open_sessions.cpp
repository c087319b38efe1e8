#include "libs/transvex/open_sessions.h"

#include "serilon/serilon.h"

#include <array>
#include <mutex>

namespace transvex {
namespace {

struct Sessions {
    std::mutex mutex;
    std::array<std::optional<OpenSession>, SERIAL_COMM_IDS> slots;
};

Sessions& sessions() {
    static Sessions s;
    return s;
}

bool validId(int32_t id) {
    return id >= 0 && id < SERIAL_COMM_IDS;
}

} // namespace

void leaveSessionOpen(int32_t commId, const OpenSession& session) {
    if (!validId(commId)) {
        return;
    }
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    s.slots[commId] = session;
}

std::optional<OpenSession> takeOpenSession(int32_t commId, uint64_t nowMs) {
    if (!validId(commId)) {
        return std::nullopt;
    }
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    std::optional<OpenSession> taken;
    taken.swap(s.slots[commId]);
    if (taken && nowMs - taken->leftAtMs > kOpenSessionMs) {
        taken.reset();
    }
    return taken;
}

void forgetOpenSession(int32_t commId) {
    if (validId(commId)) {
        Sessions& s = sessions();
        std::lock_guard lock(s.mutex);
        s.slots[commId].reset();
    }
}

} // namespace transvex
