// An eventfd that wakes a thread blocked in poll().
#pragma once

namespace serilon {

class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // False when the descriptor could not be made (out of descriptors).
    bool valid() const { return fd_ >= 0; }
    // The descriptor to poll for POLLIN.
    int fd() const { return fd_; }
    // Makes fd() readable; any thread, async-signal-safe.
    void signal();
    // Clears the readable state.
    void drain();

private:
    int fd_ = -1;
};

} // namespace serilon
