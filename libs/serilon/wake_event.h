// An eventfd that wakes a thread blocked in poll().
#pragma once

#include <atomic>

namespace serilon {

// The descriptor is made by open(), not by the constructor, so that a channel makes
// only the ones its threads need (a TCP connection often never starts thread 1).
class WakeEvent {
public:
    WakeEvent() = default;
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Makes the descriptor unless it exists; false when it cannot be made (out of
    // descriptors). Called before the thread that polls it starts, by one thread at a
    // time; signal() may run meanwhile.
    bool open();
    bool valid() const { return fd_.load() >= 0; }
    // The descriptor to poll for POLLIN; -1 before open().
    int fd() const { return fd_.load(); }
    // Makes fd() readable; any thread, async-signal-safe. Nothing before open(): no
    // thread waits on it then, and the one that will looks at its state first.
    void signal();
    // Clears the readable state.
    void drain();

private:
    std::atomic<int> fd_{-1};
};

} // namespace serilon
