// Moving bytes through the library's queues over a pseudo-terminal.
#include "serilon_test_util.h"
#include "tools/scanner-sim/sha256.h"

#include <atomic>
#include <thread>
#include <vector>

using namespace serilon_test;

TEST_F(SerilonPort, BytesTravelBothWays) {
    const std::string in = pattern(3000, 1);
    ASSERT_TRUE(pty_.writeAll(in));
    EXPECT_EQ(readFromPort(kId, in.size()), in);

    const std::string out = pattern(5000, 2);
    // More than the output queue holds: the rest goes in as thread 1 makes room.
    std::size_t sent = 0;
    ASSERT_TRUE(waitFor([&] {
        uint16_t taken = 0;
        EXPECT_EQ(SerialWrite(kId, out.data() + sent, uint16_t(out.size() - sent), &taken),
                  SERIAL_OK);
        sent += taken;
        return sent == out.size();
    })) << sent;
    EXPECT_EQ(pty_.read(out.size()), out);
    EXPECT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_OUTPUT) == 0; }));
}

TEST_F(SerilonPort, WriteTakesOnlyWhatFitsAndTheQueueDrains) {
    ASSERT_EQ(SerialSetBuffers(kId, 4096, 1000), SERIAL_OK);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_OUTPUT), 1000);
    // Nobody reads the master, so the kernel's buffer fills and then the library's queue.
    std::string accepted;
    const std::string chunk = pattern(700, 3);
    ASSERT_TRUE(waitFor(
        [&] {
            uint16_t taken = 0;
            EXPECT_EQ(SerialWrite(kId, chunk.data(), uint16_t(chunk.size()), &taken), SERIAL_OK);
            EXPECT_LE(taken, chunk.size());
            accepted.append(chunk, 0, taken);
            if (SerialQueueFull(kId, SERIAL_DIR_OUTPUT) == 0) {
                return false;
            }
            // Full for good only once the writer is stuck on the full device (it sleeps
            // in poll with bytes queued); a writer that had not run yet drains the
            // queue again.
            return portThreadsIdle(kId) && SerialQueueCount(kId, SERIAL_DIR_OUTPUT) == 1000;
        },
        5000));
    uint16_t taken = 99;
    EXPECT_EQ(SerialWrite(kId, "more", 4, &taken), SERIAL_OK);
    EXPECT_EQ(taken, 0);

    // Reading the master lets everything through, in order, and nothing more.
    EXPECT_EQ(pty_.read(accepted.size()), accepted);
    EXPECT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_OUTPUT) == 0; }));
    EXPECT_EQ(SerialQueueFull(kId, SERIAL_DIR_OUTPUT), 0);
    EXPECT_EQ(pty_.read(1, 50), "");
}

TEST_F(SerilonPort, SeventyThousandBytesWaitingAreCountedAndReadInFull) {
    const std::string in = pattern(70000, 4);
    ASSERT_TRUE(pty_.writeAll(in));
    ASSERT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 70000; }))
        << SerialQueueCount(kId, SERIAL_DIR_INPUT);
    // More than the set size, less than the hard limit: not "full".
    EXPECT_EQ(SerialQueueFull(kId, SERIAL_DIR_INPUT), 0);
    std::string got(70000, '\0');
    uint16_t n = 0;
    ASSERT_EQ(SerialRead(kId, got.data(), 65000, &n), SERIAL_OK);
    EXPECT_EQ(n, 65000);
    EXPECT_EQ(SerialQueueCount(kId, SERIAL_DIR_INPUT), 5000);
    ASSERT_EQ(SerialRead(kId, got.data() + 65000, 65535, &n), SERIAL_OK);
    EXPECT_EQ(n, 5000);
    EXPECT_EQ(got, in);
}

TEST_F(SerilonPort, EightMebibytesArriveIntactWhileTheReaderIsSlow) {
    constexpr std::size_t kTotal = 8u << 20;
    const std::string data = pattern(kTotal, 5);
    const std::string sentHash = scanner_sim::sha256Hex(data.data(), data.size());

    std::atomic<bool> writerOk{false};
    std::thread writer([&] { writerOk = pty_.writeAll(data, 60000); });

    // Read nothing until the queue reaches the hard limit: the library must stop there
    // and leave the rest in the kernel (the master's writer blocks), not drop it.
    std::int32_t peak = 0;
    const bool reachedLimit = waitFor(
        [&] {
            peak = std::max(peak, SerialQueueCount(kId, SERIAL_DIR_INPUT));
            return peak >= SERIAL_INPUT_HARD_LIMIT;
        },
        10000);
    EXPECT_TRUE(reachedLimit) << "peak " << peak;
    EXPECT_EQ(SerialQueueFull(kId, SERIAL_DIR_INPUT), reachedLimit ? 1 : 0);
    // Thread 0 has stopped reading (it sleeps with the device left out of its poll):
    // had it gone past the limit, the count would show it now.
    EXPECT_TRUE(waitFor([] { return portThreadsIdle(kId); }));
    EXPECT_LE(SerialQueueCount(kId, SERIAL_DIR_INPUT), SERIAL_INPUT_HARD_LIMIT);

    scanner_sim::Sha256 received;
    std::size_t total = 0;
    std::vector<char> buf(16384);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (total < kTotal && std::chrono::steady_clock::now() < deadline) {
        peak = std::max(peak, SerialQueueCount(kId, SERIAL_DIR_INPUT));
        uint16_t got = 0;
        ASSERT_EQ(SerialRead(kId, buf.data(), uint16_t(buf.size()), &got), SERIAL_OK);
        received.update(buf.data(), got);
        total += got;
        if (got < buf.size()) {
            // The slow reader: a pause whenever the queue held less than a buffer.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    writer.join();
    EXPECT_TRUE(writerOk);
    EXPECT_EQ(total, kTotal);
    EXPECT_LE(peak, SERIAL_INPUT_HARD_LIMIT);
    EXPECT_EQ(received.finishHex(), sentHash);
}

TEST_F(SerilonPort, WaitQueueWakesOnChangeTimesOutOtherwise) {
    // Times out with the count unchanged.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SerialWaitQueue(kId, SERIAL_DIR_INPUT, 0, 60), 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(55));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));

    // Returns early when bytes arrive: they come once this thread sleeps in the wait.
    const long self = currentThreadId();
    std::thread feeder([&] {
        EXPECT_TRUE(waitFor([&] { return sleepsInTimedWait(self); }));
        pty_.writeAll("abc");
    });
    start = std::chrono::steady_clock::now();
    const int count = SerialWaitQueue(kId, SERIAL_DIR_INPUT, 0, 3000);
    waited = std::chrono::steady_clock::now() - start;
    feeder.join();
    EXPECT_GT(count, 0);
    EXPECT_LT(waited, std::chrono::milliseconds(2000));

    // A count that already differs returns at once; so does a negative time-out.
    EXPECT_EQ(SerialWaitQueue(kId, SERIAL_DIR_OUTPUT, 5, 3000), 0);
    EXPECT_EQ(SerialWaitQueue(kId, SERIAL_DIR_OUTPUT, 0, -1), 0);

    // A waiter is released by the close.
    std::atomic<bool> done{false};
    std::atomic<long> waiterId{0};
    std::thread waiter([&] {
        waiterId = currentThreadId();
        SerialWaitQueue(kId, SERIAL_DIR_OUTPUT, 0, 10000);
        done = true;
    });
    EXPECT_TRUE(waitFor([&] { return waiterId != 0 && sleepsInTimedWait(waiterId); }));
    start = std::chrono::steady_clock::now();
    SerialClosePort(kId);
    waiter.join();
    EXPECT_TRUE(done);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
}

TEST_F(SerilonPort, FlushAndBufferSizes) {
    ASSERT_TRUE(pty_.writeAll("12345"));
    ASSERT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 5; }));
    EXPECT_EQ(SerialFlushQueue(kId, SERIAL_DIR_INPUT), SERIAL_OK);
    EXPECT_EQ(SerialQueueCount(kId, SERIAL_DIR_INPUT), 0);
    EXPECT_EQ(SerialFlushQueue(kId, 2), SERIAL_E_INVALID);

    EXPECT_EQ(SerialSetBuffers(kId, 15, 100), SERIAL_E_INVALID);
    EXPECT_EQ(SerialSetBuffers(kId, 100, -1), SERIAL_E_INVALID);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_INPUT), 4096);
    EXPECT_NE(errorText(kId).find("at least 16"), std::string::npos);
    EXPECT_EQ(SerialSetBuffers(kId, 2048, 1536), SERIAL_OK);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_INPUT), 2048);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_OUTPUT), 1536);
    EXPECT_EQ(SerialSetBuffers(kId, 1 << 24, 1 << 24), SERIAL_OK);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_INPUT), 1 << 20);
    EXPECT_EQ(SerialBufferSize(kId, SERIAL_DIR_OUTPUT), 1 << 20);

    // A queue holding more than its new size keeps its bytes.
    const std::string in = pattern(3000, 6);
    ASSERT_TRUE(pty_.writeAll(in));
    ASSERT_TRUE(waitFor([] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) == 3000; }));
    EXPECT_EQ(SerialSetBuffers(kId, 16, 16), SERIAL_OK);
    EXPECT_EQ(SerialQueueCount(kId, SERIAL_DIR_INPUT), 3000);
    EXPECT_EQ(readFromPort(kId, 3000), in);

    // Bad pointers are refused, not followed.
    EXPECT_EQ(SerialWrite(kId, nullptr, 4, nullptr), SERIAL_E_INVALID);
    EXPECT_EQ(SerialRead(kId, nullptr, 4, nullptr), SERIAL_E_INVALID);
    EXPECT_EQ(SerialWrite(kId, nullptr, 0, nullptr), SERIAL_OK);
}

namespace {

std::atomic<int> procWaitResult{-2};

// Waits long inside the event procedure, as a careless procedure might.
int32_t waitInsideProc(int32_t commId, int32_t) {
    if (procWaitResult.load() == -2) {
        procWaitResult = -1;
        procWaitResult = SerialWaitQueue(commId, SERIAL_DIR_OUTPUT, 0, 20000);
    }
    return 0;
}

} // namespace

TEST_F(SerilonPort, CloseEndsAWaitInsideTheEventProcedure) {
    procWaitResult = -2;

    ASSERT_EQ(SerialSetEventProc(kId, waitInsideProc), SERIAL_OK);
    ASSERT_TRUE(pty_.writeAll("x"));
    ASSERT_TRUE(waitFor([] { return procWaitResult.load() == -1; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SerialClosePort(kId), SERIAL_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(procWaitResult.load(), 0);
}
