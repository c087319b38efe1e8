// One open comm id: its queues, settings, event state and threads, over a transport
// (transport.h: a serial device, a TCP connection, a TCP server or an ISDN call).
#pragma once

#include "libs/serilon/byte_queue.h"
#include "libs/serilon/line_settings.h"
#include "libs/serilon/os_error.h"
#include "libs/serilon/posix_device.h"
#include "libs/serilon/tcp_connection.h"
#include "libs/serilon/thread_pool.h"
#include "libs/serilon/transport.h"
#include "libs/serilon/wake_event.h"
#include "serilon/serilon.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace serilon {

class IsdnConnection;
struct ConnectionConfig;

// Thread rules: every public member may be called from any thread, except open() and
// close(), which the comm-id table serialises, and close(), which must not run on
// thread 0. Thread 0 (reader) moves device bytes into the input queue and is the only
// caller of the event procedure; thread 1 (writer) moves the output queue to the device;
// on devices with modem lines a third thread watches the lines. mutex_ guards the queues,
// the settings and every call on the device that a caller makes. A TCP connection
// starts thread 1 only when bytes first have to wait for the socket: until then a
// write goes to the socket from the caller's thread.
class Channel {
public:
    // Input and output queue set sizes until SerialSetBuffers.
    static constexpr std::size_t kDefaultQueueSize = 4096;
    // Upper bound for a set queue size.
    static constexpr std::size_t kMaxQueueSize = 1 << 20;
    // Closing a serial device or TCP connection waits for queued output while it moves:
    // it gives up after kDrainIdle without progress or kDrainLimit in all.
    static constexpr std::chrono::milliseconds kDrainIdle{2000};
    static constexpr std::chrono::milliseconds kDrainLimit{10000};
    // Stacks of the threads: thread 0 runs the caller's event procedure, which gets
    // ample room; threads 1 and the line watcher run only the library's own loops.
    static constexpr std::size_t kReaderStack = 512 * 1024;
    static constexpr std::size_t kWorkerStack = 128 * 1024;

    explicit Channel(int commId);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Opens path and starts the threads. On failure nothing is left open or running.
    OsStatus open(const std::string& path);
    // Takes a connected socket (ownership passes, also on failure) as the device: a TCP
    // client or a connection taken over from a server. token is held while open and
    // the connection lives (its end frees the server's slot; the bytes stay readable).
    OsStatus openConnection(int fd, const std::string& name, const PeerAddress& peer,
                            std::int32_t handle, std::shared_ptr<void> token);
    // Serves on a listening socket (ownership passes, also on failure). With a limit of
    // 1 the channel carries its one connection itself; above 1 each accepted connection
    // is offered through SERIAL_EV_RING (see SerialConnectionHandle) and closed after
    // the event procedure unless a comm id has taken it over.
    OsStatus openServer(int listenFd, const std::string& name, int limit);
    // Carries ISDN calls through CAPI on config's controller: listens for calls to the
    // own extension at once; calls are placed and ended through the modem calls.
    OsStatus openIsdn(const ConnectionConfig& config);
    // The ISDN connection; null for every other kind of comm id.
    std::shared_ptr<IsdnConnection> isdn() const {
        return transport_ ? transport_->isdn() : nullptr;
    }
    bool isNetwork() const { return transport_ && transport_->isNetwork(); }
    // The connection's handle and peer: for a server the connection being offered or
    // carried; false for a serial device or a server that has had none.
    bool connectionInfo(std::int32_t& handle, PeerAddress& peer) const;
    // Ends the current network connection (a server keeps listening). Nothing for a
    // serial device.
    void hangUpConnection();
    // Lets queued output go out (see drainOutput), stops and joins the threads, then
    // closes the device. What is still queued then is dropped.
    void close();

    int commId() const { return commId_; }
    const std::string& path() const { return path_; }
    // True on thread 0 of this channel (the thread that calls the event procedure).
    bool onReaderThread() const;
    // Kernel thread id of thread 0 (which 0) or 1 (which 1); 0 when none. Right after
    // the open it waits until the thread has started.
    long threadId(int which) const;
    bool hungUp() const { return hungUp_.load(); }
    // True once close() has begun: waits on this channel should end.
    bool closing() const { return closing_.load(); }

    // ---- data
    // Queues as many bytes as fit in the output queue's set size; never blocks.
    OsStatus write(const std::uint8_t* data, std::size_t len, std::size_t& taken);
    std::size_t read(std::uint8_t* buf, std::size_t len);
    std::size_t queueCount(int dir) const;
    // Output: the queue holds its set size. Input: the queue holds the hard limit
    // (reading from the device has paused).
    bool queueFull(int dir) const;
    // Empties the library's queue and what the kernel holds for that direction.
    void flush(int dir);
    OsStatus setBuffers(std::int32_t inSize, std::int32_t outSize);
    std::size_t bufferSize(int dir) const;
    // Blocks until dir's count differs from lastCount, the channel closes or hangs up,
    // or timeoutMs pass (negative counts as 0). Returns the count.
    std::size_t waitQueue(int dir, std::int64_t lastCount, std::int32_t timeoutMs);

    // ---- line
    OsStatus setLine(std::int64_t baud, int dataBits, int stopBits, char parity, int flow);
    OsStatus setFlow(int flow);
    int flow() const;
    OsStatus setOutputLine(int line, bool on);
    int outputLines() const;
    OsStatus setBreak(bool on);
    int modemStatus() const;
    bool hasModemLines() const { return modemLines_; }
    bool carrier() const;
    int takeLineErrors() { return lineErrors_.exchange(0); }
    void readConfig(SerialConfigRecord& record) const;
    OsStatus writeConfig(const SerialConfigRecord& record);
    int osHandle() const;
    std::uint32_t maxBaud() const;

    // ---- events
    // When this returns (from any thread but thread 0), no call of the previous
    // procedure runs or will start. From thread 0 (inside the procedure) it only swaps.
    void setEventProc(SerialEventProc proc);
    // Returns the previous mask.
    std::int32_t setMode(std::int32_t mask, std::int32_t option);

private:
    friend class Transport;
    friend class DeviceTransport;
    friend class TcpTransport;
    friend class TcpServerTransport;
    friend class IsdnTransport;

    // Opens transport (which this channel keeps) and starts the threads.
    OsStatus openWith(std::unique_ptr<Transport> transport);
    OsStatus startThreads();
    // Serial device or TCP connection: waits while the output queue, and then what the
    // kernel holds for a terminal, still moves towards the device, within kDrainIdle
    // without progress and kDrainLimit in all; a hang-up ends the wait. When it gives
    // up, what the kernel holds for a serial line is discarded, so that its own close
    // does not wait for a stopped line either. Only where the transport drains on close.
    void drainOutput();
    // Thread 0 and 1 over the device, with the transport's hooks.
    void readerLoop();
    void writerLoop();
    void watcherLoop();
    // The connection's handle and peer, for connectionInfo.
    void setPeer(std::int32_t handle, const PeerAddress& peer);
    // Thread 0's buffers: raw bytes from the device, and (made when first needed) the
    // bytes after error marks and NUL discard.
    struct ReadBuffers {
        std::unique_ptr<std::uint8_t[]> raw;
        std::unique_ptr<std::uint8_t[]> decoded;
    };
    // Reads what the device has into the input queue; returns the event bits.
    std::int32_t readDevice(short revents, ReadBuffers& buffers, class InputDecoder& decoder);
    // Calls the event procedure with bits plus the pending ones, filtered by the mask;
    // returns its result (0 when it was not called).
    std::int32_t dispatch(std::int32_t bits);
    // Sets event bits for thread 0 to deliver (woken unless it is the caller).
    void raiseEvent(std::int32_t bits);
    // The channel whose thread 0 runs on this thread, if any.
    static thread_local const Channel* currentReader;
    // Compares the kernel's line counters with the last seen; returns event bits and
    // adds SERIAL_ERR_* bits to lineErrors_.
    std::int32_t checkCounters();
    // The device went away: stop using it, drop output, report CD once, wake waiters.
    void markHungUp();
    void applyDecoderConfig();
    void stopThreads();

    const int commId_;
    std::string path_;
    PosixDevice device_;
    bool modemLines_ = false;

    mutable std::mutex mutex_;
    std::condition_variable queueChanged_;
    ByteQueue input_;
    ByteQueue output_;
    std::size_t inSize_ = kDefaultQueueSize;
    // Bumped when output is flushed, so the writer does not drop bytes it did not write.
    std::uint64_t outputGeneration_ = 0;
    // Closing: bytes the writer has handed to the device since the open; the value it
    // had when the kernel last had sent everything (a terminal's tcdrain); whether the
    // closer wants the writer to drain the kernel, and whether the writer is doing so.
    std::uint64_t outputMoved_ = 0;
    std::uint64_t kernelDrainedAt_ = 0;
    bool drainWanted_ = false;
    bool kernelDraining_ = false;
    LineSettings line_;
    int outputLines_ = SERIAL_LINE_DTR | SERIAL_LINE_RTS;
    bool open_ = false;

    std::atomic<bool> closing_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> readPaused_{false};
    std::atomic<std::int32_t> pendingEvents_{0};
    // Events that came while no procedure was installed and that the next one must
    // still hear of (SERIAL_EV_CD).
    std::atomic<std::int32_t> unheardEvents_{0};
    std::atomic<std::int32_t> modeMask_{SERIAL_EV_ALL};
    std::atomic<std::int32_t> modeOption_{0};
    std::atomic<std::int32_t> lineErrors_{0};
    // Error marking, error character and NUL discard for thread 0's decoder:
    // bit 0 marking, bit 1 discard NUL, bits 8..15 the error character.
    std::atomic<std::uint32_t> decoderConfig_{0};

    std::mutex procMutex_; // held by thread 0 around each call of the procedure
    std::atomic<SerialEventProc> eventProc_{nullptr};

    std::mutex countersMutex_;
    LineCounters lastCounters_;
    bool haveCounters_ = false;

    // Counts the threads made and the threads that have set their id (tidMutex_).
    void countStarted();
    void nameThread(std::atomic<long>& tid);
    // Starts thread 1 unless it runs already (true) or the channel is closing (false);
    // throws std::system_error when no thread can be made.
    bool startWriter();
    std::mutex writerMutex_; // guards the start of thread 1 against its join
    std::atomic<long> readerTid_{0};
    std::atomic<long> writerTid_{0};
    mutable std::mutex tidMutex_;
    mutable std::condition_variable tidKnown_;
    int threadsStarted_ = 0;
    int threadsNamed_ = 0;
    std::atomic<bool> watcherDone_{false};
    int watchSignal_ = 0;
    // Each made just before the thread that waits on it starts.
    WakeEvent readerWake_;
    WakeEvent writerWake_;
    WakeEvent watcherWake_;
    PooledThread reader_;
    PooledThread writer_;
    PooledThread watcher_;

    // Set before the threads start, kept until the channel goes.
    std::unique_ptr<Transport> transport_;
    // Held around every write to the device and by a transport that replaces or shuts
    // down the device's descriptor, so no write reaches one closed (and perhaps reused).
    std::mutex ioMutex_;

    PeerAddress peer_;            // guarded by mutex_
    std::int32_t peerHandle_ = 0; // guarded by mutex_
    bool havePeer_ = false;       // guarded by mutex_
};

} // namespace serilon
