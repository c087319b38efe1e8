// TransferJob: a control's file transfer job, one send batch or one receive in a thread
// of its own, run through the transfer library (or the 3964 link library's file calls).
//
// The job works only on the Request copied in the owner's thread when it starts: the
// host may rewrite FileName (and its suffix), FileDownLoadDir and Protocol while it
// runs; the new values are for the next job. What the job reports back are the names
// of the files it handles (the control's FileName), FileSize and OnFileInfo
// notifications.
//
// Thread rules: start() and the destructor run in the owner's thread; abort() and the
// readers may be called from any thread; onFileInfo() runs in the transfer thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "control/link3964/link_library.h"
#include "transvex/transvex.h"

namespace vort {

class CVortCtrl;

enum TransferState : int16_t { kTransferIdle = 0, kTransferReceiving = 1, kTransferSending = 2 };

class TransferJob {
public:
    // What one job needs, taken from the control's properties when it starts.
    struct Request {
        TransferState direction = kTransferSending; // sending or receiving
        int32_t commId = 0;
        int16_t protocol = 0;
        // FileName as a path ('\' turned into '/'): a wildcard pattern when sending,
        // the target of the receive calls that take no name from the sender.
        std::string name;
        // The file-name suffix, comma included (empty: none), appended to every name the
        // library gets; its letters are the library's options.
        std::string suffix;
        std::string downloadDir;    // FileDownLoadDir, for names the sender gives
        bool carrierEvents = false; // a modem connection is up: carrier changes count too
        int16_t priority = 2;       // the Priority the transfer thread runs at
        // Protocol 7: the 3964 library's functions, one reference of them acquired for
        // the job and released when it ends; nullptr otherwise.
        const Link3964Functions* link3964 = nullptr;
    };

    explicit TransferJob(CVortCtrl& owner);
    // Joins a transfer thread still running (the owner has aborted it before).
    ~TransferJob();
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // Waits for a transfer thread to end (it ends by itself, or at its next report after
    // abort). Owner's thread.
    void join();
    // Starts the transfer thread on request. False (nothing started, a 3964 reference in
    // the request released) when a transfer thread exists, the name does not fit the
    // working file name or no thread can be started. Owner's thread.
    bool start(Request request);
    // Sets the abort flag and the last-file flag: the library stops at its next report,
    // a batch sends no further file. The abort flag stays set until the next start.
    // Any thread.
    void abort();

    // Idle, receiving or sending; idle again once the thread has done its last step.
    TransferState state() const { return state_.load(); }
    // A transfer thread exists (from the accepted start until its last step).
    bool threadExists() const { return threadRunning_.load(); }
    // The size reported with the latest posted file-info notification.
    int32_t fileSize() const { return fileSize_.load(); }

    // One report of the transfer library (FileInfoProc, in the transfer thread); the
    // result steers the library.
    int32_t onFileInfo(int32_t action, int32_t data, XferFileInfo* record);

private:
    void run();
    void sendFiles();
    void receiveFile();
    // Waits up to ms, or less when an abort comes.
    void pauseBetweenFiles(int ms);

    CVortCtrl& owner_;
    // Written by start() while no thread exists, then read by the transfer thread only.
    Request request_;
    // The working file name handed to the library (NUL-terminated); transfer thread.
    char workingName_[XFER_NAME_SIZE] = {};
    std::thread thread_;
    std::atomic<TransferState> state_{kTransferIdle};
    std::atomic<bool> threadRunning_{false};
    std::atomic<int32_t> fileSize_{0};
    std::atomic<bool> abort_{false};
    std::atomic<bool> lastFile_{true};
    std::mutex abortMutex_; // with abortCv_: wakes the pause between files
    std::condition_variable abortCv_;
};

} // namespace vort
