// DialJob: a control's modem job, one dial (or one wait for a call) in a thread of its
// own.
//
// The job works only on the Request copied in the owner's thread when it starts, so
// the host may rewrite ModemPhoneNumber, ModemInitString, ModemAnswerString and
// ModemTimeout while it runs: the new texts are for the next dial.
//
// Thread rules: start() and the destructor run in the owner's thread; requestStop(),
// the flags and onModemInfo() may be called from any thread. The dial thread reaches
// the control only through its any-thread members (notifications, ModemResult, the
// connected flag).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>

namespace vort {

class CVortCtrl;

class DialJob {
public:
    // What one dial needs, taken from the control's properties when it starts.
    struct Request {
        int32_t commId = 0;
        std::string number; // ModemPhoneNumber (Latin-1); empty: answer a call instead
        std::string answer; // ModemAnswerString (Latin-1)
        std::string init;   // ModemInitString (Latin-1); empty: no init command
        int32_t timeoutMs = 60000;
        int16_t priority = 2; // the Priority the dial thread runs at
    };

    explicit DialJob(CVortCtrl& owner);
    // Joins a dial thread still running (the owner has stopped it before).
    ~DialJob();
    DialJob(const DialJob&) = delete;
    DialJob& operator=(const DialJob&) = delete;

    // Waits for a dial thread to end (it ends by itself, or after requestStop). Owner's
    // thread.
    void join();
    // Starts the dial thread on request. False when a dial thread exists or no thread
    // can be started. Owner's thread.
    bool start(Request request);
    // Asks a running dial to end: the wait for a connection ends at its next report
    // with "ABORTED". Stays set until the next start. Any thread.
    void requestStop() { stop_ = true; }
    bool stopRequested() const { return stop_.load(); }
    // A dial thread exists (from the accepted start until its last step).
    bool threadExists() const { return threadRunning_.load(); }
    // The dial is in progress (from the thread's first step until the result is in).
    bool dialling() const { return dialling_.load(); }
    // The kernel id of the running dial thread, 0 when none.
    pid_t threadId() const { return threadId_.load(); }

    // One progress report of the modem wait (ModemInfoProc, in the dial thread): posts
    // it as an OnModem notification; 0 ends the wait (time-out or stop), 1 goes on.
    int32_t onModemInfo(int32_t action, int32_t timeLeftMs);

private:
    void run(const Request& request);

    CVortCtrl& owner_;
    std::thread thread_;
    std::atomic<bool> threadRunning_{false};
    std::atomic<bool> dialling_{false};
    std::atomic<bool> stop_{false};
    std::atomic<pid_t> threadId_{0};
};

} // namespace vort
