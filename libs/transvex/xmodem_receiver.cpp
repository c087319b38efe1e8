#include "libs/transvex/xmodem_receiver.h"

#include "libs/transvex/file_record.h"
#include "libs/transvex/xmodem_block.h"
#include "libs/transvex/ymodem_header.h"

#include <algorithm>

namespace transvex {

const char* XmodemReceiver::stateName(State s) {
    switch (s) {
    case State::Start:
        return "Start";
    case State::WaitBlock:
        return "WaitBlock";
    case State::InBlock:
        return "InBlock";
    case State::Purge:
        return "Purge";
    case State::WaitEot:
        return "WaitEot";
    case State::Done:
        return "Done";
    }
    return "?";
}

XmodemReceiver::XmodemReceiver(XmodemReceiverConfig config, EngineIo io)
    : EngineBase(std::move(io), State::Start), cfg_(std::move(config)) {}

void XmodemReceiver::send(uint8_t b) {
    const uint8_t one[] = {b};
    io_.write(one);
}

void XmodemReceiver::sendStart(uint64_t now) {
    if (cfg_.mode == XmodemReceiverConfig::Mode::Crc && startsSent_ >= 3) {
        crc_ = false; // a sender that ignores 'C' may still know the plain sum
    }
    send(crc_ ? kCrcStart : kNak);
    ++startsSent_;
    deadline_ = now + cfg_.startRetryMs;
}

void XmodemReceiver::start(uint64_t now) {
    crc_ = cfg_.mode != XmodemReceiverConfig::Mode::Checksum;
    expectHeader_ = cfg_.mode == XmodemReceiverConfig::Mode::YmodemBatch;
    expected_ = expectHeader_ ? 0 : 1;
    if (!expectHeader_) {
        setRecordName(record_, cfg_.path);
        if (cfg_.path.empty()) {
            fail(XFER_STATUS_BAD_ARGUMENT, false);
            return;
        }
    }
    state_ = State::Start;
    sendStart(now);
}

bool XmodemReceiver::openTarget(const std::string& path) {
    std::string error;
    if (!sink_.open(path, FileSink::Mode::Replace, error)) {
        return false;
    }
    fileOpen_ = true;
    return true;
}

void XmodemReceiver::feed(std::span<const uint8_t> bytes, uint64_t now) {
    for (size_t i = 0; i < bytes.size() && state_ != State::Done; ++i) {
        if (state_ == State::InBlock) {
            // Take the block's bytes in one go rather than one call each.
            const size_t take = std::min(need_ - rest_.size(), bytes.size() - i);
            rest_.insert(rest_.end(), bytes.begin() + static_cast<long>(i),
                         bytes.begin() + static_cast<long>(i + take));
            i += take - 1;
            deadline_ = now + cfg_.charTimeoutMs;
            if (rest_.size() == need_) {
                blockComplete(now);
            }
            continue;
        }
        onByte(bytes[i], now);
    }
}

void XmodemReceiver::onByte(uint8_t b, uint64_t now) {
    if (state_ == State::Purge) {
        deadline_ = now + cfg_.charTimeoutMs;
        return;
    }
    if (b == kCan) {
        if (++cans_ >= 2) {
            sink_.abandon();
            fail(XFER_STATUS_PEER_CANCELLED, false);
        }
        return;
    }
    cans_ = 0;
    if (b == kSoh || b == kStx) {
        blockType_ = b;
        need_ = xmodemBlockRest(b == kStx ? 1024 : 128, crc_);
        rest_.clear();
        rest_.reserve(need_);
        state_ = State::InBlock;
        deadline_ = now + cfg_.charTimeoutMs;
        return;
    }
    if (b != kEot || expectHeader_) {
        return; // line noise between blocks
    }
    if (state_ == State::WaitEot) {
        send(kAck);
        fileEnd(now);
    } else {
        send(kNak);
        state_ = State::WaitEot;
        deadline_ = now + cfg_.blockTimeoutMs;
    }
}

void XmodemReceiver::blockComplete(uint64_t now) {
    const BlockCheck check = checkXmodemBlock(rest_, crc_);
    if (check != BlockCheck::Good) {
        damaged(now);
        return;
    }
    const uint8_t num = rest_[0];
    const std::span<const uint8_t> data(rest_.data() + 2, rest_.size() - 2 - (crc_ ? 2 : 1));
    if (expectHeader_ && num == 0) {
        acceptHeader(data, now);
    } else if (!expectHeader_ && num == expected_) {
        acceptData(data, now);
    } else if (cfg_.mode == XmodemReceiverConfig::Mode::Xmodem1k && !sawHeader_ && expected_ == 1 &&
               written_ == 0 && num == 0) {
        acceptHeader(data, now); // a batch sender: take its size, keep our target
    } else if (num == static_cast<uint8_t>(expected_ - 1)) {
        // Our ACK was lost and the block came again.
        send(kAck);
        if (num == 0 && !expectHeader_) {
            send(kCrcStart);
        }
        state_ = State::WaitBlock;
        deadline_ = now + cfg_.blockTimeoutMs;
    } else {
        fail(XFER_STATUS_PROTOCOL_ERROR, true);
    }
}

void XmodemReceiver::acceptHeader(std::span<const uint8_t> data, uint64_t now) {
    const ParsedFileHeader parsed = parseFileHeader(data);
    if (parsed.result == ParsedFileHeader::Result::EndOfBatch) {
        send(kAck);
        finish(failure_);
        return;
    }
    record_ = emptyRecord();
    if (parsed.result == ParsedFileHeader::Result::Invalid) {
        setRecordName(record_, parsed.header.name);
        fail(XFER_STATUS_PROTOCOL_ERROR, true);
        return;
    }
    discard_ = false;
    fileOpen_ = false;
    size_ = parsed.header.size;
    mtime_ = parsed.header.mtime;
    written_ = 0;
    held_.clear();
    record_.size = recordSize(size_.value_or(0));
    setRecordTime(record_, mtime_);
    if (cfg_.mode == XmodemReceiverConfig::Mode::YmodemBatch) {
        record_.kind = XFER_KIND_YMODEM_BATCH;
        const auto name = confineReceivedName(parsed.header.name);
        if (!name) {
            setRecordName(record_, parsed.header.name);
            discard_ = true;
            fileFailed(XFER_STATUS_BAD_NAME);
        } else {
            setRecordName(record_, *name);
            int32_t decision = XFER_RESULT_GO_ON;
            if (io_.report) {
                decision = io_.report(XFER_ACTION_RX_HEADER, 0, &record_);
            }
            const std::string path = normalizeSeparators(recordName(record_));
            if (decision == XFER_RESULT_STOP) {
                discard_ = true; // YMODEM cannot refuse a file: it is read and dropped
            } else if (path.empty()) {
                discard_ = true;
                fileFailed(XFER_STATUS_BAD_NAME);
            } else if (!openTarget(path)) {
                discard_ = true;
                fileFailed(XFER_STATUS_FILE_ERROR);
            }
        }
    } else {
        sawHeader_ = true;
        setRecordName(record_, cfg_.path);
        if (!openTarget(cfg_.path)) {
            fail(XFER_STATUS_FILE_ERROR, true);
            return;
        }
    }
    send(kAck);
    send(kCrcStart);
    expectHeader_ = false;
    expected_ = 1;
    retries_ = 0;
    state_ = State::WaitBlock;
    deadline_ = now + cfg_.blockTimeoutMs;
}

bool XmodemReceiver::writeData(std::span<const uint8_t> data) {
    if (discard_ || data.empty()) {
        return true;
    }
    if (!sink_.write(data)) {
        fail(XFER_STATUS_FILE_ERROR, true);
        return false;
    }
    return true;
}

void XmodemReceiver::acceptData(std::span<const uint8_t> data, uint64_t now) {
    if (!fileOpen_ && !discard_) {
        if (!openTarget(cfg_.path)) {
            fail(XFER_STATUS_FILE_ERROR, true);
            return;
        }
    }
    if (size_) {
        const uint64_t n = std::min<uint64_t>(data.size(), *size_ - std::min(*size_, written_));
        if (!writeData(data.first(static_cast<size_t>(n)))) {
            return;
        }
        written_ += n;
    } else {
        if (!writeData(held_)) {
            return;
        }
        held_.assign(data.begin(), data.end());
        written_ += data.size();
    }
    send(kAck);
    ++expected_;
    retries_ = 0;
    state_ = State::WaitBlock;
    deadline_ = now + cfg_.blockTimeoutMs;
    if (now - lastReportMs_ >= cfg_.progressIntervalMs) {
        lastReportMs_ = now;
        report(XFER_ACTION_RX_PROGRESS, recordSize(written_));
    }
}

void XmodemReceiver::fileEnd(uint64_t now) {
    const bool batch = cfg_.mode == XmodemReceiverConfig::Mode::YmodemBatch || sawHeader_;
    if (!size_) {
        while (!held_.empty() && held_.back() == kSub) {
            held_.pop_back();
            --written_;
        }
        if (!writeData(held_)) {
            return;
        }
        held_.clear();
    }
    if (!discard_) {
        if (!fileOpen_ && !openTarget(cfg_.path)) {
            fail(XFER_STATUS_FILE_ERROR, true);
            return;
        }
        const bool ok = sink_.finish(mtime_);
        fileOpen_ = false;
        if (!ok) {
            fileFailed(XFER_STATUS_FILE_ERROR);
        } else if (size_ && written_ != *size_) {
            fileFailed(XFER_STATUS_SIZE_MISMATCH);
        } else {
            ++filesReceived_;
            record_.size = recordSize(written_);
            if (!report(XFER_ACTION_RX_PROGRESS, 0) ||
                !report(XFER_ACTION_RX_FINISHED, recordSize(written_))) {
                return;
            }
        }
    }
    discard_ = false;
    size_.reset();
    written_ = 0;
    if (!batch) {
        finish(failure_);
        return;
    }
    expectHeader_ = true;
    expected_ = 0;
    retries_ = 0;
    send(kCrcStart);
    state_ = State::WaitBlock;
    deadline_ = now + cfg_.startRetryMs;
}

void XmodemReceiver::damaged(uint64_t now) {
    if (++retries_ > cfg_.maxRetries) {
        fail(XFER_STATUS_TOO_MANY_ERRORS, true);
        return;
    }
    if (!report(XFER_ACTION_RETRY, retries_)) {
        return;
    }
    state_ = State::Purge;
    deadline_ = now + cfg_.charTimeoutMs;
}

void XmodemReceiver::tick(uint64_t now) {
    if (state_ == State::Done || now < deadline_) {
        return;
    }
    switch (state_) {
    case State::Start:
        if (startsSent_ >= cfg_.startTries) {
            fail(XFER_STATUS_TIMEOUT, false);
            return;
        }
        sendStart(now);
        break;
    case State::InBlock:
        damaged(now); // the sender stopped inside a block
        break;
    case State::Purge:
        send(expectHeader_ ? kCrcStart : kNak);
        state_ = State::WaitBlock;
        deadline_ = now + cfg_.blockTimeoutMs;
        break;
    case State::WaitBlock:
    case State::WaitEot:
        if (++retries_ > cfg_.maxRetries) {
            fail(XFER_STATUS_TIMEOUT, true);
            return;
        }
        if (!report(XFER_ACTION_RETRY, retries_)) {
            return;
        }
        send(expectHeader_ ? kCrcStart : kNak);
        deadline_ = now + (expectHeader_ ? cfg_.startRetryMs : cfg_.blockTimeoutMs);
        break;
    case State::Done:
        break;
    }
}

} // namespace transvex
