#include "libs/transvex/xmodem_sender.h"

#include "libs/transvex/file_record.h"
#include "libs/transvex/xmodem_block.h"
#include "libs/transvex/ymodem_header.h"

#include <algorithm>

namespace transvex {

const char* XmodemSender::stateName(State s) {
    switch (s) {
    case State::WaitStart:
        return "WaitStart";
    case State::WaitHeaderAck:
        return "WaitHeaderAck";
    case State::WaitDataStart:
        return "WaitDataStart";
    case State::WaitBlockAck:
        return "WaitBlockAck";
    case State::WaitEotAck:
        return "WaitEotAck";
    case State::WaitEndStart:
        return "WaitEndStart";
    case State::WaitEndAck:
        return "WaitEndAck";
    case State::Done:
        return "Done";
    }
    return "?";
}

XmodemSender::XmodemSender(XmodemSenderConfig config, EngineIo io)
    : EngineBase(std::move(io), State::WaitStart), cfg_(std::move(config)) {
    chunk_.resize(1024);
}

void XmodemSender::start(uint64_t now) {
    setRecordName(record_, cfg_.path);
    std::string error;
    if (!file_.open(cfg_.path, error)) {
        fail(XFER_STATUS_FILE_ERROR, false);
        return;
    }
    size_ = file_.size();
    mtime_ = file_.mtime();
    record_.kind = cfg_.mode == XmodemSenderConfig::Mode::YmodemBatch ? XFER_KIND_YMODEM_BATCH
                                                                      : XFER_KIND_NONE;
    record_.size = recordSize(size_);
    setRecordTime(record_, mtime_);
    if (cfg_.mode == XmodemSenderConfig::Mode::YmodemBatch) {
        prepareHeader();
        if (state_ == State::Done) {
            return;
        }
        number_ = 0;
    }
    state_ = State::WaitStart;
    deadline_ = now + cfg_.startTimeoutMs;
}

void XmodemSender::prepareHeader() {
    if (!offerFile(size_, mtime_, false)) {
        return;
    }
    std::string name = normalizeSeparators(recordName(record_));
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    if (name.empty()) {
        const size_t s = cfg_.path.find_last_of('/');
        name = s == std::string::npos ? cfg_.path : cfg_.path.substr(s + 1);
    }
    headerName_ = name;
}

bool XmodemSender::progress(uint64_t now, bool force) {
    if (!io_.report || (!force && reported_ && now - lastReportMs_ < cfg_.progressIntervalMs)) {
        return true;
    }
    reported_ = true;
    lastReportMs_ = now;
    if (io_.report(XFER_ACTION_TX_PROGRESS, recordSize(pos_), &record_) == XFER_RESULT_STOP) {
        fail(XFER_STATUS_ABORTED, true);
        return false;
    }
    return true;
}

void XmodemSender::feed(std::span<const uint8_t> bytes, uint64_t now) {
    for (uint8_t b : bytes) {
        if (state_ == State::Done) {
            return;
        }
        onByte(b, now);
    }
}

void XmodemSender::sendBlock(uint64_t now) {
    io_.write(block_);
    deadline_ = now + cfg_.ackTimeoutMs;
}

// Reads the block at pos_; false at the end of the file.
bool XmodemSender::nextBlock(uint64_t now) {
    if (pos_ >= size_) {
        return false;
    }
    const uint64_t left = size_ - pos_;
    const bool longBlocks =
        cfg_.mode == XmodemSenderConfig::Mode::Xmodem ? cfg_.use1k : !cfg_.shortBlocks;
    // A short tail goes in 128-byte blocks: less padding for the receiver to guess at.
    size_t len = (longBlocks && left > 896) ? 1024 : 128;
    len = static_cast<size_t>(std::min<uint64_t>(len, left));
    const ssize_t got = file_.read(pos_, chunk_.data(), len);
    if (got != static_cast<ssize_t>(len)) {
        fail(XFER_STATUS_FILE_ERROR, true);
        return false;
    }
    blockData_ = len;
    block_ = buildXmodemBlock(number_, std::span<const uint8_t>(chunk_.data(), len), crc_, kSub,
                              longBlocks && left > 896);
    retries_ = 0;
    sendBlock(now);
    state_ = State::WaitBlockAck;
    return true;
}

void XmodemSender::sendEot(uint64_t now) {
    static const uint8_t kEotByte[] = {kEot};
    io_.write(kEotByte);
    state_ = State::WaitEotAck;
    deadline_ = now + cfg_.ackTimeoutMs;
}

void XmodemSender::retry(uint64_t now) {
    if (++retries_ > cfg_.maxRetries) {
        fail(XFER_STATUS_TOO_MANY_ERRORS, true);
        return;
    }
    if (io_.report && io_.report(XFER_ACTION_RETRY, retries_, &record_) == XFER_RESULT_STOP) {
        fail(XFER_STATUS_ABORTED, true);
        return;
    }
    if (state_ == State::WaitEotAck) {
        sendEot(now);
    } else {
        sendBlock(now);
    }
}

void XmodemSender::fileDone(uint64_t now) {
    pos_ = size_;
    if (!progress(now, true)) {
        return;
    }
    int32_t result = XFER_RESULT_GO_ON;
    if (io_.report) {
        result = io_.report(XFER_ACTION_TX_FINISHED, recordSize(size_), &record_);
    }
    if (cfg_.mode != XmodemSenderConfig::Mode::YmodemBatch || result == XFER_RESULT_MORE_FILES) {
        leftOpen_ = cfg_.mode == XmodemSenderConfig::Mode::YmodemBatch;
        finish(XFER_STATUS_OK);
        return;
    }
    endStatus_ = result == XFER_RESULT_STOP ? XFER_STATUS_ABORTED : XFER_STATUS_OK;
    state_ = State::WaitEndStart;
    retries_ = 0;
    deadline_ = now + cfg_.ackTimeoutMs;
}

void XmodemSender::onByte(uint8_t b, uint64_t now) {
    if (b == kCan) {
        if (++cans_ >= 2) {
            fail(XFER_STATUS_PEER_CANCELLED, false);
        }
        return;
    }
    cans_ = 0;
    switch (state_) {
    case State::WaitStart:
        if (b == kNak || b == kCrcStart) {
            crc_ = b == kCrcStart;
            if (cfg_.mode == XmodemSenderConfig::Mode::YmodemBatch) {
                block_ = buildXmodemBlock(
                    0, buildYmodemHeaderBlock(headerName_, size_, mtime_, file_.mode()), true, 0);
                retries_ = 0;
                sendBlock(now);
                state_ = State::WaitHeaderAck;
                progress(now, true);
            } else if (!nextBlock(now) && state_ != State::Done) {
                sendEot(now);
            }
        }
        break;
    case State::WaitHeaderAck:
        if (b == kAck) {
            state_ = State::WaitDataStart;
            deadline_ = now + cfg_.ackTimeoutMs;
        } else if (b == kNak || b == kCrcStart) {
            retry(now);
        }
        break;
    case State::WaitDataStart:
        if (b == kCrcStart || b == kNak) {
            crc_ = b == kCrcStart;
            number_ = 1;
            if (!nextBlock(now) && state_ != State::Done) {
                sendEot(now);
            }
        }
        break;
    case State::WaitBlockAck:
        if (b == kAck) {
            pos_ += blockData_;
            ++number_;
            if (!progress(now, false)) {
                return;
            }
            if (!nextBlock(now) && state_ != State::Done) {
                sendEot(now);
            }
        } else if (b == kNak || (b == kCrcStart && pos_ == 0)) {
            retry(now);
        }
        break;
    case State::WaitEotAck:
        if (b == kAck) {
            fileDone(now);
        } else if (b == kNak) {
            retry(now);
        }
        break;
    case State::WaitEndStart:
        if (b == kCrcStart || b == kNak) {
            block_ = buildXmodemBlock(0, buildYmodemHeaderBlock("", 0, 0, 0), b == kCrcStart, 0);
            sendBlock(now);
            state_ = State::WaitEndAck;
        }
        break;
    case State::WaitEndAck:
        if (b == kAck) {
            finish(endStatus_);
        } else if (b == kNak || b == kCrcStart) {
            retry(now);
        }
        break;
    case State::Done:
        break;
    }
}

void XmodemSender::tick(uint64_t now) {
    if (state_ == State::Done || now < deadline_) {
        return;
    }
    switch (state_) {
    case State::WaitStart:
    case State::WaitDataStart:
        fail(XFER_STATUS_TIMEOUT, true);
        break;
    case State::WaitEndStart:
        // The file is through; only the closing handshake went unanswered.
        finish(endStatus_);
        break;
    case State::WaitEndAck:
        // A receiver may leave as soon as it has the closing block, its ACK lost
        // on the way: after one more try the session counts as closed.
        if (++retries_ > 1) {
            finish(endStatus_);
        } else {
            sendBlock(now);
        }
        break;
    default:
        retry(now);
        break;
    }
}

} // namespace transvex
