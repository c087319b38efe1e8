// The event procedure: what it is called with, when, and that calls never overlap.
#include "serilon_test_util.h"

#include <atomic>
#include <mutex>
#include <vector>

using namespace serilon_test;

namespace {

// What the recording procedure saw.
struct EventLog {
    std::mutex mutex;
    std::vector<int32_t> masks;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::atomic<int> sleepMs{0};
    std::atomic<bool> running{false};
    std::atomic<bool> removed{false};
    std::atomic<bool> calledAfterRemoval{false};
    std::atomic<int> wrongId{0};

    void reset() {
        std::lock_guard lock(mutex);
        masks.clear();
        sleepMs = 0;
        removed = false;
        calledAfterRemoval = false;
        overlapped = false;
        wrongId = 0;
    }
    int32_t seen() {
        std::lock_guard lock(mutex);
        int32_t all = 0;
        for (int32_t m : masks) {
            all |= m;
        }
        return all;
    }
    std::size_t calls() {
        std::lock_guard lock(mutex);
        return masks.size();
    }
};

EventLog eventLog;

int32_t recordEvent(int32_t commId, int32_t mask) {
    if (eventLog.inside.fetch_add(1) != 0) {
        eventLog.overlapped = true;
    }
    eventLog.running = true;
    if (eventLog.removed) {
        eventLog.calledAfterRemoval = true;
    }
    if (commId != SerilonPort::kId) {
        ++eventLog.wrongId;
    }
    {
        std::lock_guard lock(eventLog.mutex);
        eventLog.masks.push_back(mask);
    }
    if (int ms = eventLog.sleepMs.load()) {
        // A slow procedure on purpose: a call that overlapped this one would show.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    eventLog.running = false;
    eventLog.inside.fetch_sub(1);
    return 0;
}

class SerilonEvents : public SerilonPort {
protected:
    void SetUp() override {
        eventLog.reset();
        SerilonPort::SetUp();
        ASSERT_EQ(SerialSetEventProc(kId, recordEvent), SERIAL_OK);
    }
    void TearDown() override {
        SerialSetEventProc(kId, nullptr);
        SerilonPort::TearDown();
    }
};

} // namespace

TEST_F(SerilonEvents, ReceiveAndTransmitReports) {
    ASSERT_TRUE(pty_.writeAll("abc"));
    ASSERT_TRUE(waitFor([] { return (eventLog.seen() & SERIAL_EV_RXCHAR) != 0; }));
    EXPECT_EQ(eventLog.seen() & SERIAL_EV_RXFLAG, 0);

    uint16_t taken = 0;
    ASSERT_EQ(SerialWrite(kId, "hello", 5, &taken), SERIAL_OK);
    ASSERT_EQ(taken, 5);
    EXPECT_EQ(pty_.read(5), "hello");
    ASSERT_TRUE(waitFor([] { return (eventLog.seen() & SERIAL_EV_TXEMPTY) != 0; }));
    EXPECT_EQ(eventLog.wrongId.load(), 0);
    // No line events on a pseudo-terminal.
    EXPECT_EQ(eventLog.seen() & (SERIAL_EV_CTS | SERIAL_EV_DSR | SERIAL_EV_CD | SERIAL_EV_RING |
                                 SERIAL_EV_BREAK | SERIAL_EV_LINE_ERROR),
              0);
}

TEST_F(SerilonEvents, ModeMaskFiltersAndOptionsAddReports) {
    // Only the transmit report passes: received bytes raise no call.
    EXPECT_EQ(SerialSetMode(kId, SERIAL_EV_TXEMPTY, 0), SERIAL_EV_ALL);
    ASSERT_TRUE(pty_.writeAll("ignored"));
    ASSERT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 7; }));
    // Thread 0 is back in poll: whatever it meant to report is reported.
    ASSERT_TRUE(waitFor([] { return portThreadsIdle(kId); }));
    EXPECT_EQ(eventLog.calls(), 0u);
    SerialFlushQueue(kId, SERIAL_DIR_INPUT);

    // Telegram option: every receive report also carries RXFLAG.
    EXPECT_EQ(SerialSetMode(kId, SERIAL_EV_ALL, SERIAL_MODE_TELEGRAM), SERIAL_EV_TXEMPTY);
    ASSERT_TRUE(pty_.writeAll("t"));
    ASSERT_TRUE(waitFor([] { return eventLog.calls() > 0; }));
    EXPECT_EQ(eventLog.seen() & (SERIAL_EV_RXCHAR | SERIAL_EV_RXFLAG),
              SERIAL_EV_RXCHAR | SERIAL_EV_RXFLAG);
    SerialFlushQueue(kId, SERIAL_DIR_INPUT);

    // Passing 80 % of the set input size is reported once, on the crossing.
    EXPECT_EQ(SerialSetMode(kId, SERIAL_EV_ALL, 0), SERIAL_EV_ALL);
    ASSERT_EQ(SerialSetBuffers(kId, 100, 100), SERIAL_OK);
    eventLog.reset();
    ASSERT_TRUE(pty_.writeAll(std::string(79, 'a')));
    ASSERT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 79; }));
    ASSERT_TRUE(waitFor([] { return eventLog.calls() > 0; }));
    EXPECT_EQ(eventLog.seen() & SERIAL_EV_RX80FULL, 0);
    ASSERT_TRUE(pty_.writeAll("b"));
    ASSERT_TRUE(waitFor([] { return (eventLog.seen() & SERIAL_EV_RX80FULL) != 0; }));
    eventLog.reset();
    ASSERT_TRUE(pty_.writeAll("c"));
    ASSERT_TRUE(waitFor([] { return eventLog.calls() > 0; }));
    EXPECT_EQ(eventLog.seen() & SERIAL_EV_RX80FULL, 0);

    // A closed comm id has no mode.
    EXPECT_EQ(SerialSetMode(kId + 1, SERIAL_EV_ALL, 0), 0);
}

TEST_F(SerilonEvents, CallsNeverOverlapAndRemovalWaitsForTheRunningCall) {
    // Slow procedure, a stream of data and transmit reports from another thread.
    eventLog.sleepMs = 2;
    std::atomic<bool> stop{false};
    std::thread traffic([&] {
        while (!stop) {
            pty_.writeAll("0123456789");
            uint16_t taken;
            SerialWrite(kId, "x", 1, &taken);
            pty_.read(1, 5);
            // Paced, so that the calls come one after another rather than merged.
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    EXPECT_TRUE(waitFor([] { return eventLog.calls() > 30; }, 5000)) << eventLog.calls();
    EXPECT_FALSE(eventLog.overlapped);

    // Catch a call while it runs, then remove the procedure: the call must be over when
    // SerialSetEventProc returns, and no call may follow.
    eventLog.sleepMs = 40;
    ASSERT_TRUE(waitFor([] { return eventLog.running.load(); }));
    ASSERT_EQ(SerialSetEventProc(kId, nullptr), SERIAL_OK);
    EXPECT_FALSE(eventLog.running.load());
    eventLog.removed = true;
    // Traffic goes on until thread 0 has read more bytes, each a report it would have
    // raised; then, with the traffic over, until both threads have done all they had.
    ASSERT_EQ(SerialFlushQueue(kId, SERIAL_DIR_INPUT), SERIAL_OK);
    EXPECT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) >= 100; }));
    stop = true;
    traffic.join();
    EXPECT_TRUE(waitFor([] { return portThreadsIdle(kId); }));
    EXPECT_FALSE(eventLog.calledAfterRemoval);
    EXPECT_FALSE(eventLog.overlapped);
}

namespace {

std::atomic<int> reentrantCalls{0};
std::atomic<int> reentrantFailures{0};

// A procedure that uses the library for its own comm id, as the control's does.
int32_t callBackIntoLibrary(int32_t commId, int32_t mask) {
    ++reentrantCalls;
    char buf[64];
    uint16_t got = 0;
    if (mask & SERIAL_EV_RXCHAR) {
        if (SerialQueueCount(commId, SERIAL_DIR_INPUT) <= 0 ||
            SerialRead(commId, buf, sizeof buf, &got) != SERIAL_OK || got == 0) {
            ++reentrantFailures;
        }
    }
    SerialLineErrors(commId);
    SerialQueueFull(commId, SERIAL_DIR_OUTPUT);
    if (SerialGetUserData(commId, 0) != 1234) {
        ++reentrantFailures;
    }
    // Swapping the procedure from inside itself must not wait for itself.
    SerialSetEventProc(commId, callBackIntoLibrary);
    return 0;
}

} // namespace

TEST_F(SerilonPort, EventProcedureMayCallTheLibrary) {
    reentrantCalls = 0;
    reentrantFailures = 0;

    ASSERT_EQ(SerialSetUserData(kId, 0, 1234), SERIAL_OK);
    ASSERT_EQ(SerialSetEventProc(kId, callBackIntoLibrary), SERIAL_OK);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(pty_.writeAll("data"));
        ASSERT_TRUE(waitFor([&] { return reentrantCalls.load() > i; }));
    }
    EXPECT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 0; }));
    EXPECT_EQ(reentrantFailures.load(), 0);
    ASSERT_EQ(SerialSetEventProc(kId, nullptr), SERIAL_OK);
}
