#include "platform/component/module.h"

#include <atomic>

namespace vort::component {

namespace {
std::atomic<uint32_t> lockCount{0};
}

void lockModule() {
    lockCount.fetch_add(1, std::memory_order_relaxed);
}

void unlockModule() {
    // Never below zero: an unbalanced unlock must not make the library look busy forever.
    uint32_t n = lockCount.load(std::memory_order_relaxed);
    while (n > 0 && !lockCount.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
    }
}

uint32_t moduleLockCount() {
    return lockCount.load(std::memory_order_relaxed);
}

} // namespace vort::component
