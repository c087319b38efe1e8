// The threads that run the channels' loops (thread 0, thread 1, the line watcher), with
// a stack sized for the loop, kept for the next loop when one ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace serilon {

struct PooledWorker;

// Making a thread costs a stack mapping, a clone, the C library's signal-mask changes
// around it and its exit, with the process default stack (often 8 MiB) also an unmap
// per thread once a few dozen live at once. A TCP server that hands each connection to a
// comm id of its own starts and ends a thread 0 (often a thread 1 too) per connection,
// and that cost more than a short connection's work. So a loop that ends leaves its
// thread parked, and the next loop that wants a stack of the same size runs on it.
//
// What a loop leaves on its thread is undone before the next one runs there: its signal
// mask and a changed nice value (a thread whose nice cannot be restored ends instead of
// being kept). A loop starts with the signal mask of the thread that started it, as a new
// thread would. At most kMaxIdle threads of each stack size are kept, each for kIdleTime;
// in a child made by fork() the parked threads do not exist and are forgotten. When the
// last comm id closes, the parked threads end (releaseIdle).
//
// Thread rules: start, join and the destructor are for the owner of a PooledThread;
// signal may be called from any thread while the owner keeps it joinable.
class PooledThread {
public:
    static constexpr int kMaxIdle = 64;
    static constexpr int kIdleTimeSeconds = 10;

    PooledThread() = default;
    // Joins a loop that is still joinable.
    ~PooledThread();
    PooledThread(const PooledThread&) = delete;
    PooledThread& operator=(const PooledThread&) = delete;

    // Runs fn on a parked thread with stackBytes of stack, else on a new one (with the
    // process default stack when the system refuses that size, which happens when its
    // thread-local storage needs more). fn must not throw. Throws std::system_error when
    // no thread can be made. Only on a PooledThread that is not joinable.
    void start(std::size_t stackBytes, std::function<void()> fn);
    bool joinable() const { return worker_ != nullptr; }
    // Waits until fn has returned; then this is no longer joinable.
    void join();
    // Sends sig to the thread while fn runs; false (nothing sent) once fn has returned,
    // so that a signal never reaches a thread that runs something else by then.
    bool signal(int sig) const;
    // Ends every parked thread and waits until each has exited, so that none outlives
    // the last open port (a host may unload the modules whose thread-local storage
    // those threads touched). Any thread; never from a pooled loop.
    static void releaseIdle();
    void swap(PooledThread& other) noexcept;

private:
    std::shared_ptr<PooledWorker> worker_;
    std::uint64_t job_ = 0; // the worker's number for fn
};

} // namespace serilon
