#include "libs/transvex/ascii_transfer.h"

#include "libs/transvex/file_record.h"
#include "libs/transvex/xmodem_block.h"

#include <algorithm>

namespace transvex {

AsciiSender::AsciiSender(AsciiSenderConfig config, EngineIo io)
    : EngineBase(std::move(io), State::Sending, {}), cfg_(std::move(config)) {
    cfg_.chunk = std::clamp<size_t>(cfg_.chunk, 1, 65536);
    chunk_.resize(cfg_.chunk);
}

void AsciiSender::start(uint64_t) {
    setRecordName(record_, cfg_.path);
    std::string error;
    if (!file_.open(cfg_.path, error)) {
        fail(XFER_STATUS_FILE_ERROR, false);
        return;
    }
    record_.size = recordSize(file_.size());
    setRecordTime(record_, file_.mtime());
}

void AsciiSender::tick(uint64_t now) {
    if (state_ != State::Sending) {
        return;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(cfg_.chunk, file_.size() - pos_));
    if (n > 0) {
        if (file_.read(pos_, chunk_.data(), n) != static_cast<ssize_t>(n)) {
            fail(XFER_STATUS_FILE_ERROR, false);
            return;
        }
        io_.write(std::span<const uint8_t>(chunk_.data(), n));
        pos_ += n;
    }
    const bool done = pos_ >= file_.size();
    if (io_.report && (done || now - lastReportMs_ >= cfg_.progressIntervalMs)) {
        lastReportMs_ = now;
        if (io_.report(XFER_ACTION_TX_PROGRESS, recordSize(pos_), &record_) == XFER_RESULT_STOP) {
            fail(XFER_STATUS_ABORTED, false);
            return;
        }
    }
    if (done) {
        file_.close();
        if (io_.report) {
            io_.report(XFER_ACTION_TX_FINISHED, recordSize(pos_), &record_);
        }
        finish(XFER_STATUS_OK);
    }
}

const char* AsciiReceiver::stateName(State s) {
    switch (s) {
    case State::WaitFirst:
        return "WaitFirst";
    case State::Receiving:
        return "Receiving";
    case State::Done:
        return "Done";
    }
    return "?";
}

AsciiReceiver::AsciiReceiver(AsciiReceiverConfig config, EngineIo io)
    : EngineBase(std::move(io), State::WaitFirst, {}), cfg_(std::move(config)) {}

void AsciiReceiver::lineLost() {
    if (state_ == State::Receiving) {
        end();
    } else {
        EngineBase::lineLost();
    }
}

void AsciiReceiver::start(uint64_t now) {
    setRecordName(record_, cfg_.path);
    std::string error;
    if (!sink_.open(cfg_.path, FileSink::Mode::Replace, error)) {
        fail(XFER_STATUS_FILE_ERROR, false);
        return;
    }
    state_ = State::WaitFirst;
    deadline_ = now + cfg_.startMs;
}

void AsciiReceiver::feed(std::span<const uint8_t> bytes, uint64_t now) {
    if (state_ == State::Done || bytes.empty()) {
        return;
    }
    state_ = State::Receiving;
    deadline_ = now + cfg_.silenceMs;
    auto endAt = bytes.end();
    if (!cfg_.keepSub) {
        endAt = std::find(bytes.begin(), bytes.end(), kSub);
    }
    if (!sink_.write(std::span<const uint8_t>(bytes.begin(), endAt))) {
        fail(XFER_STATUS_FILE_ERROR, false);
        return;
    }
    if (endAt != bytes.end()) {
        end();
        return;
    }
    if (io_.report && now - lastReportMs_ >= cfg_.progressIntervalMs) {
        lastReportMs_ = now;
        if (io_.report(XFER_ACTION_RX_PROGRESS, recordSize(sink_.length()), &record_) ==
            XFER_RESULT_STOP) {
            fail(XFER_STATUS_ABORTED, false);
        }
    }
}

void AsciiReceiver::end() {
    const uint64_t size = sink_.length();
    if (!sink_.finish(0)) {
        finish(XFER_STATUS_FILE_ERROR);
        if (io_.report) {
            io_.report(XFER_ACTION_BREAK, status_, &record_);
        }
        return;
    }
    finish(XFER_STATUS_OK);
    record_.size = recordSize(size);
    if (io_.report) {
        io_.report(XFER_ACTION_RX_PROGRESS, 0, &record_);
        io_.report(XFER_ACTION_RX_FINISHED, recordSize(size), &record_);
    }
}

void AsciiReceiver::tick(uint64_t now) {
    if (state_ == State::Done || now < deadline_) {
        return;
    }
    if (state_ == State::WaitFirst) {
        fail(XFER_STATUS_TIMEOUT, false);
    } else {
        end();
    }
}

} // namespace transvex
