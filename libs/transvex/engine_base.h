// What the protocol engines have in common: the driver's I/O, the file-info record the
// caller's procedure sees, the state (every engine's State has a final Done), the
// status, the next deadline, and the one way each of them ends.
//
// An engine ends through finish() (the status, nothing said to anyone) or fail()
// (also: the peer gets the protocol's cancel sequence when asked, the caller's
// procedure gets XFER_ACTION_BREAK once). A failure after the end changes nothing, so
// abort() and lineLost() may come at any time.
#pragma once

#include "libs/transvex/engine.h"
#include "libs/transvex/file_record.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace transvex {

template <typename State> class EngineBase : public Engine {
public:
    void abort(uint64_t) override { fail(XFER_STATUS_ABORTED, true); }
    void lineLost() override { fail(XFER_STATUS_LINE_LOST, false); }
    // UINT64_MAX once finished.
    uint64_t deadline() const override { return deadline_; }
    bool finished() const override { return state_ == State::Done; }
    int32_t status() const override { return status_; }
    State state() const { return state_; }

protected:
    // cancel: what tells the peer that the local side stops; empty where the protocol
    // has no such thing (plain text), so an abort just ends.
    EngineBase(EngineIo io, State initial, std::span<const uint8_t> cancel = cancelSequence())
        : io_(std::move(io)), record_(emptyRecord()), state_(initial), cancel_(cancel) {}

    // Hooks of the end: onFail runs first when a failure ends the engine (a receiver
    // drops its partial file, a sender output not yet handed on); onFinish runs on
    // every end (a sender closes its file).
    virtual void onFail() {}
    virtual void onFinish() {}

    void finish(int32_t status) {
        status_ = status;
        state_ = State::Done;
        deadline_ = UINT64_MAX;
        onFinish();
    }

    void fail(int32_t status, bool cancelPeer) {
        if (state_ == State::Done) {
            return;
        }
        onFail();
        if (cancelPeer && !cancel_.empty()) {
            io_.write(cancel_);
        }
        finish(status);
        if (io_.report) {
            io_.report(XFER_ACTION_BREAK, status, &record_);
        }
    }

    // One file of a batch failed while the session goes on; the session later ends
    // with failure_ as its status.
    void fileFailed(int32_t reason) {
        failure_ = reason;
        if (io_.report) {
            io_.report(XFER_ACTION_BREAK, reason, &record_);
        }
    }

    // Tells the caller's procedure; false when it answered XFER_RESULT_STOP, which
    // aborts the transfer (the peer is cancelled).
    bool report(int32_t action, int32_t data) {
        if (io_.report && io_.report(action, data, &record_) == XFER_RESULT_STOP) {
            fail(XFER_STATUS_ABORTED, true);
            return false;
        }
        return true;
    }

    // A sender offers its file to the caller's procedure: XFER_ACTION_FILE_DETAILS, then
    // XFER_ACTION_SYN with the record's size set to size again. The caller's view of the
    // time counts when it names another time than mtime, seen at the two-second grain
    // of the record's time; it then replaces mtime. False when the procedure answered
    // XFER_RESULT_STOP: the engine failed with XFER_STATUS_ABORTED.
    bool offerFile(uint64_t size, int64_t& mtime, bool cancelPeer) {
        if (!io_.report) {
            return true;
        }
        if (io_.report(XFER_ACTION_FILE_DETAILS, 0, &record_) != XFER_RESULT_STOP) {
            const auto t = recordTime(record_);
            if (t && std::llabs(*t - mtime) > 2) {
                mtime = *t;
            }
            record_.size = recordSize(size);
            if (io_.report(XFER_ACTION_SYN, 0, &record_) != XFER_RESULT_STOP) {
                return true;
            }
        }
        fail(XFER_STATUS_ABORTED, cancelPeer);
        return false;
    }

    EngineIo io_;
    XferFileInfo record_;
    State state_;
    int32_t status_ = XFER_STATUS_OK;
    int32_t failure_ = XFER_STATUS_OK; // the last file of a batch that failed
    uint64_t deadline_ = 0;
    uint64_t lastReportMs_ = 0; // the last progress report

private:
    std::span<const uint8_t> cancel_;
};

} // namespace transvex
