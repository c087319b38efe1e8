#include "libs/transvex/transfer_registry.h"

#include <array>
#include <atomic>

#include "control/libs/serilon.h"
#include "control/libs/transvex.h"

namespace transvex {

namespace {

struct Slot {
    std::atomic<bool> running{false};
    std::atomic<bool> stop{false};
    std::atomic<int32_t> limitMs{0};
};

std::array<Slot, SERIAL_COMM_IDS>& slots() {
    static std::array<Slot, SERIAL_COMM_IDS> s;
    return s;
}

bool validId(int32_t id) { return id >= 0 && id < SERIAL_COMM_IDS; }

} // namespace

TransferRegistration::TransferRegistration(int32_t commId) : commId_(commId) {
    if (!validId(commId_)) return;
    Slot& s = slots()[commId_];
    s.stop = false;
    s.limitMs = 0;
    s.running = true;
}

TransferRegistration::~TransferRegistration() {
    if (validId(commId_)) slots()[commId_].running = false;
}

bool TransferRegistration::stopRequested() const {
    return validId(commId_) && slots()[commId_].stop.load();
}

int32_t TransferRegistration::stopLimitMs() const {
    return validId(commId_) ? slots()[commId_].limitMs.load() : 0;
}

bool requestStop(int32_t commId, int32_t limitMs) {
    if (!validId(commId)) return false;
    Slot& s = slots()[commId];
    if (!s.running.load()) return false;
    s.limitMs = limitMs;
    s.stop = true;
    return true;
}

} // namespace transvex

extern "C" int32_t XferAbort(int32_t commId, int32_t timeoutMs) {
    return transvex::requestStop(commId, timeoutMs) ? 1 : 0;
}
