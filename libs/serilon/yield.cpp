// Process-wide yield state, options and per-thread wait sections.
#include "serilon/serilon.h"

#include <atomic>
#include <sched.h>

namespace {

constexpr std::int32_t kDefaultYield = 1;
// SerialResetOption: 0 resets every option, 1 the yield state.
constexpr std::int32_t kOptionAll = 0;
constexpr std::int32_t kOptionYield = 1;

std::atomic<std::int32_t> yieldState{kDefaultYield};
thread_local std::int32_t waitDepth = 0;

} // namespace

extern "C" {

int32_t SerialGetYield(void) {
    return yieldState.load();
}

int32_t SerialSetYield(int32_t state) {
    // Kept as given, so that a saved state comes back unchanged.
    yieldState = state;
    return SERIAL_OK;
}

int32_t SerialResetOption(int32_t option) {
    if (option != kOptionAll && option != kOptionYield) {
        return SERIAL_E_INVALID;
    }
    yieldState = kDefaultYield;
    return SERIAL_OK;
}

int32_t SerialWaitEnter(void) {
    return ++waitDepth;
}

int32_t SerialWaitPoll(void) {
    if (waitDepth > 0 && yieldState.load() != 0) {
        sched_yield();
    }
    return waitDepth;
}

int32_t SerialWaitLeave(void) {
    if (waitDepth > 0) {
        --waitDepth;
    }
    return waitDepth;
}

} // extern "C"
