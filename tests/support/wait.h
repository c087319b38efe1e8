// Waiting in tests for state another thread or process changes: a worker that starts,
// a byte that arrives, an event that is raised. Tests run under CPU contention, so they
// wait on what they can observe with a generous deadline, never for a fixed time.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace vort::test {

// Checks pred every 2 ms until it holds (true) or timeoutMs pass (false). each, when
// given, runs before every check after the first failed one (the control's tests deliver
// posted notifications in it). Any thread; pred and each run on the caller's.
inline bool waitFor(const std::function<bool()>& pred, int timeoutMs = 3000,
                    const std::function<void()>& each = {}) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (each)
            each();
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace vort::test
