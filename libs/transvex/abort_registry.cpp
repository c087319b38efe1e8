#include "libs/transvex/abort_registry.h"

#include "serilon/serilon.h"

#include <array>
#include <mutex>

namespace transvex {
namespace {

struct Slot {
    Channel* channel = nullptr;
};

struct Registry {
    std::mutex mutex;
    std::array<Slot, SERIAL_COMM_IDS> slots;
};

Registry& registry() {
    static Registry r;
    return r;
}

bool validId(int32_t id) {
    return id >= 0 && id < SERIAL_COMM_IDS;
}

} // namespace

AbortRegistration::AbortRegistration(int32_t commId, Channel& channel) : commId_(commId) {
    if (!validId(commId)) {
        return;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.slots[commId].channel != nullptr) {
        return;
    }
    r.slots[commId].channel = &channel;
    ok_ = true;
}

AbortRegistration::~AbortRegistration() {
    if (!ok_) {
        return;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.slots[commId_].channel = nullptr;
}

bool abortTransfer(int32_t commId, int32_t timeoutMs) {
    if (!validId(commId)) {
        return false;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Channel* channel = r.slots[commId].channel;
    if (channel == nullptr) {
        return false;
    }
    channel->requestAbort(timeoutMs > 0 ? timeoutMs : 0);
    return true;
}

} // namespace transvex
