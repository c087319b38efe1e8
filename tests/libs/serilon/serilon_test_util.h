// Shared pieces of the libserilon tests over pseudo-terminals.
#pragma once

#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <thread>

namespace serilon_test {

using vort::test::waitFor;

// Reads from the library's input queue until n bytes came or timeoutMs passed.
inline std::string readFromPort(int commId, std::size_t n, int timeoutMs = 3000) {
    std::string out;
    waitFor(
        [&] {
            char buf[4096];
            uint16_t got = 0;
            SerialRead(commId, buf, uint16_t(std::min<std::size_t>(sizeof buf, n - out.size())),
                       &got);
            out.append(buf, got);
            return out.size() >= n;
        },
        timeoutMs);
    return out;
}

// n bytes of a repeatable pseudo-random pattern.
inline std::string pattern(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = char(rng());
    }
    return s;
}

// The process's CPU time (all threads) in milliseconds.
double processCpuMs();

// What a thread of this process does, read from /proc/self/task/<tid>. Tests wait on
// these instead of sleeping in the hope that another thread has got somewhere.
//
// Kernel thread id of the calling thread.
long currentThreadId();
// The thread sleeps in a wait with a time-out on a futex: a condition variable's
// wait_for, as in SerialWaitQueue, not a lock (those wait without one). False for a
// thread that runs or is gone.
bool sleepsInTimedWait(long tid);
// The thread sleeps in poll() or ppoll(): it waits for its descriptors.
bool sleepsInPoll(long tid);
// Threads 0 and 1 of an open comm id (1 when it has one) both sleep in poll(): each
// has done what it could and waits for something new (a byte, room, a wake). Thread 0
// calls the event procedure between its polls, so a report it raised has been made.
bool portThreadsIdle(int commId);

// Watches a TCP server from outside: the accept queue of its listening socket and what
// its thread 0 does. The files are opened at construction, so a test that then uses up
// every descriptor can still look.
class ServerWatch {
public:
    ServerWatch(std::uint16_t port, long thread0);
    ~ServerWatch();
    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    // Connections the kernel holds for the server to accept; -1 when nothing listens.
    int queued() const;
    // Thread 0 sleeps in poll(): it waits for its descriptors, not for a lock or the
    // processor. While a connection is queued, such a thread is not watching the
    // listening socket (poll would have returned).
    bool sleepsInPoll() const;
    // Connections are queued and thread 0 sleeps all the same.
    bool leavesQueued() const { return queued() > 0 && sleepsInPoll(); }
    // The times thread 0 has given up the processor to wait.
    long voluntarySwitches() const;

private:
    std::string read(int fd) const;
    std::uint16_t port_;
    int tcp_, tcp6_, stat_, syscall_, status_;
};

inline std::string errorText(int commId) {
    char buf[512];
    SerialErrorText(commId, buf, sizeof buf);
    return buf;
}

// A pty mapped to a port number in a scratch map, opened through the library.
class SerilonPort : public ::testing::Test {
public:
    static constexpr int kId = 4; // COM5

protected:
    void SetUp() override {
        map_.map(kId + 1, pty_.slavePath());
        ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK) << errorText(kId);
    }
    void TearDown() override { SerialClosePort(kId); }

    vort::test::ScopedPortMap map_;
    vort::test::PtyPair pty_;
};

} // namespace serilon_test
