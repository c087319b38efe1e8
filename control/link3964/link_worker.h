// Link3964: a control's 3964/3964R telegram link while Protocol 7 is on.
//
// A worker thread alternates sending the queued telegrams and receiving the partner's
// through the 3964 link library; the owner's thread queues telegrams (Output), takes
// received ones (Input) and empties the lists. Both lists are guarded by one mutex;
// the worker posts comm events to the control (vort/comm_events.h): kCommEvSend sent,
// kCommEvReceive received (and announced again while unread), kCommErTxFailed dropped
// after the retries, kCommErRxOver receive list full, kCommErTxFull send queue full.
//
// The link owns what its worker reads: the comm id, times and flags are copied when it
// starts, and the S3964 property writes reach it through applyTimes and applyFlags.
//
// Thread rules: start, stop, applyTimes, applyFlags, shareFunctions and the list calls
// run in the owner's thread; signalReceive and signalSend come from the serial core
// library's thread.
//
// A telegram is kept as the bytes the host gave: the first byte is the flag that travels
// with it, the rest is the telegram.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "control/link3964/link_library.h"

namespace vort {

class CVortCtrl;

class Link3964 {
public:
    // Each list holds at most this many telegrams.
    static constexpr size_t kMaxTelegrams = 32000;

    explicit Link3964(CVortCtrl& owner);
    ~Link3964();
    Link3964(const Link3964&) = delete;
    Link3964& operator=(const Link3964&) = delete;

    // The S3964 properties the link works with.
    struct Settings {
        int32_t tqMs = 2000;
        int32_t tzMs = 200;
        int16_t retries = 3; // both retry counts, MZ1 and MZ2
        bool master = false;
        bool useBcc = true;
    };

    // Starts on an open comm id with these settings. False when the comm id is not
    // open or the library cannot be loaded (then *message says why, for the operator).
    bool start(int32_t commId, const Settings& settings, std::string* message);
    // Stops the worker (at most about 10 s), empties both lists and lets the library go.
    void stop();
    bool active() const { return active_; }

    // Passes new times and retry counts to the library while active.
    void applyTimes(int32_t tqMs, int32_t tzMs, int16_t retries);
    // The flags that travel with every telegram from now on.
    void applyFlags(bool master, bool useBcc);

    // Queues one telegram (flag byte first); a full queue drops it with kCommErTxFull.
    void queueTelegram(std::span<const uint8_t> flagAndData);
    // The oldest received telegram (flag byte first), or nothing.
    std::optional<std::vector<uint8_t>> takeTelegram();
    int32_t receivedCount() const;
    int32_t queuedCount() const;
    void clearReceived();
    void clearQueued();

    // Library reports, from its thread: bytes arrived / the output queue ran empty.
    void signalReceive();
    void signalSend();

    // While active, one more reference of the library's functions for a file transfer
    // job, which gives it back with releaseLink3964() (from any thread) when it ends, so
    // a stop meanwhile cannot unload the library under it; nullptr when inactive.
    const Link3964Functions* shareFunctions();

private:
    struct Telegram {
        int32_t sequence = 0;
        std::vector<uint8_t> bytes;
        int16_t attempts = 0;
        int16_t reannounced = 0;
        int32_t lastStatus = 0;
    };
    enum WorkerState : int { kRunning = 0, kStopRequested = 1, kEnded = 2 };

    void run();
    void sendLoop();
    // One send attempt of the head telegram; returns its status (-1: nothing done).
    int32_t sendOne();
    // One receive when bytes wait; returns its status (-1: nothing done).
    int32_t receiveOne();
    void reannounceCheck();
    bool portUsable() const;
    void touch();

    CVortCtrl& owner_;
    const Link3964Functions* fn_ = nullptr;
    int32_t commId_ = -1;
    bool active_ = false;
    int32_t previousMode_ = 0;
    std::thread worker_;
    std::atomic<int> state_{kEnded};
    std::atomic<int16_t> retries_{3};
    std::atomic<bool> master_{false};
    std::atomic<bool> useBcc_{true};

    std::mutex signalMutex_;
    std::condition_variable signalCv_;
    bool sendSignal_ = false;
    bool receiveSignal_ = false;

    mutable std::mutex listMutex_;
    std::deque<Telegram> sendQueue_;
    std::deque<Telegram> receiveList_;
    int32_t nextSequence_ = 0;
    std::atomic<uint32_t> lastActivity_{0};
};

} // namespace vort
