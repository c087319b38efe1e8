// The lock count of the component library this code is linked into: live objects,
// live class factories and server locks. DllCanUnloadNow answers from it: a library
// may be unloaded only when the count is 0.
//
// The model is linked statically, with hidden symbols, into each component library,
// so each library has its own count.
#pragma once

#include <cstdint>

namespace vort::component {

void lockModule();
void unlockModule();
uint32_t moduleLockCount();

// Holds one module lock for its lifetime; make it a member of every object a library
// hands out (DispatchObject already has one).
class ModuleLock {
public:
    ModuleLock() { lockModule(); }
    ModuleLock(const ModuleLock&) { lockModule(); }
    ModuleLock& operator=(const ModuleLock&) { return *this; }
    ~ModuleLock() { unlockModule(); }
};

} // namespace vort::component
