#include "libs/transvex/zmodem_receiver.h"

#include "libs/transvex/file_record.h"
#include "libs/transvex/ymodem_header.h"

#include <algorithm>
#include <sys/statvfs.h>

namespace transvex {

const char* ZmodemReceiver::stateName(State s) {
    switch (s) {
    case State::WaitFile:
        return "WaitFile";
    case State::WaitCrc:
        return "WaitCrc";
    case State::Receiving:
        return "Receiving";
    case State::WaitOver:
        return "WaitOver";
    case State::Done:
        return "Done";
    }
    return "?";
}

ZmodemReceiver::ZmodemReceiver(ZmodemReceiverConfig config, EngineIo io)
    : EngineBase(std::move(io), State::WaitFile), cfg_(config) {
    enc_.setEscapeControl((cfg_.options & XFER_OPT_ESCAPE_CONTROL) != 0);
}

void ZmodemReceiver::hex(const ZHeader& h) {
    out_.clear();
    appendHexHeader(h, out_);
    io_.write(out_);
    out_.clear();
}

void ZmodemReceiver::sendInit() {
    uint8_t flags = kCanFdx | kCanOvio | kCanFc32;
    if (enc_.escapeControl()) {
        flags |= kEscCtl;
    }
    // Buffer size 0: the whole file may stream without waiting for us.
    ZHeader h = ZHeader::withFlags(ZRINIT, flags);
    h.p[0] = static_cast<uint8_t>(cfg_.bufferSize);
    h.p[1] = static_cast<uint8_t>(cfg_.bufferSize >> 8);
    hex(h);
}

void ZmodemReceiver::start(uint64_t now) {
    sendInit();
    state_ = State::WaitFile;
    tries_ = 1;
    deadline_ = now + cfg_.initRetryMs;
}

void ZmodemReceiver::feed(std::span<const uint8_t> bytes, uint64_t now) {
    if (state_ == State::Done) {
        return;
    }
    if (state_ == State::WaitOver &&
        std::find(bytes.begin(), bytes.end(), uint8_t('O')) != bytes.end()) {
        finish(failure_);
        return;
    }
    parser_.push(bytes, [&](const ZFrameParser::Event& ev) { onEvent(ev, now); });
    if (ackDue_ && state_ == State::Receiving) {
        hex(ZHeader::withPosition(ZACK, static_cast<uint32_t>(rxPos_)));
    }
    ackDue_ = false;
}

void ZmodemReceiver::onEvent(const ZFrameParser::Event& ev, uint64_t now) {
    if (state_ == State::Done) {
        return;
    }
    switch (ev.kind) {
    case ZFrameParser::Kind::Header:
        onHeader(ev.header, now);
        break;
    case ZFrameParser::Kind::Data:
        onData(ev, now);
        break;
    case ZFrameParser::Kind::Cancel:
        fail(XFER_STATUS_PEER_CANCELLED, false);
        break;
    case ZFrameParser::Kind::BadHeader:
    case ZFrameParser::Kind::BadData:
        if (state_ == State::Receiving) {
            // While resynchronising, stale data in flight is expected garbage.
            if (!resync_) {
                requestPosition(now, true);
            }
        } else if (state_ == State::WaitFile) {
            hex(ZHeader::withPosition(ZNAK, 0));
        }
        break;
    }
}

void ZmodemReceiver::onHeader(const ZHeader& h, uint64_t now) {
    pending_ = 0;
    if (state_ == State::WaitCrc && (h.type == ZFIN || h.type == ZRQINIT)) {
        // The sender ends or starts over instead of answering: the local file stays
        // as it was.
        sink_.abandon();
        state_ = State::WaitFile;
    } else if (state_ == State::WaitCrc && h.type != ZCAN && h.type != ZABORT) {
        // Only a matching CRC lets the local bytes stay; anything else starts anew.
        const bool same = h.type == ZCRC && h.position() == localCrc_;
        startFile(same, now);
        if (h.type == ZCRC || state_ == State::Done) {
            return;
        }
    }
    switch (h.type) {
    case ZRQINIT:
        if (state_ == State::Receiving) {
            // The sender started over: the file it broke off stays partial.
            sink_.abandon();
            fileFailed(XFER_STATUS_PROTOCOL_ERROR);
            state_ = State::WaitFile;
            lastInfo_.clear();
            tries_ = 0;
            deadline_ = now + cfg_.initRetryMs;
        }
        if (state_ == State::WaitFile) {
            sendInit();
        }
        break;
    case ZSINIT:
        pending_ = ZSINIT;
        sinitFlags_ = h.f0();
        break;
    case ZFILE:
        pending_ = ZFILE;
        fileF0_ = h.f0();
        fileF1_ = h.f1();
        if (state_ == State::WaitOver) {
            parser_.skipData();
        }
        break;
    case ZCOMMAND:
        pending_ = ZCOMMAND;
        break;
    case ZDATA:
        if (state_ != State::Receiving) {
            parser_.skipData();
            if (lastAnswer_.type == ZSKIP && !lastInfo_.empty()) {
                hex(lastAnswer_);
            }
            break;
        }
        if (h.position() == rxPos_) {
            resync_ = false;
            pending_ = ZDATA;
            deadline_ = now + cfg_.dataTimeoutMs;
        } else {
            parser_.skipData();
            requestPosition(now, true);
        }
        break;
    case ZEOF:
        if (state_ == State::Receiving) {
            if (h.position() == rxPos_) {
                completeFile(now);
            } else if (!resync_) {
                requestPosition(now, true);
            }
        } else if (state_ == State::WaitFile && fileDone_) {
            sendInit(); // our ZRINIT after the last file went missing
        }
        break;
    case ZFIN:
        if (state_ == State::Receiving) {
            sink_.abandon();
            fileFailed(XFER_STATUS_PROTOCOL_ERROR);
        }
        hex(ZHeader::withPosition(ZFIN, 0));
        state_ = State::WaitOver;
        deadline_ = now + cfg_.ooTimeoutMs;
        break;
    case ZFREECNT: {
        uint64_t free = 0xFFFFFFFFu;
        struct statvfs vfs {};
        if (statvfs(".", &vfs) == 0) {
            free = std::min<uint64_t>(free, uint64_t(vfs.f_bavail) * vfs.f_frsize);
        }
        hex(ZHeader::withPosition(ZACK, static_cast<uint32_t>(free)));
        break;
    }
    case ZCAN:
    case ZABORT:
        fail(XFER_STATUS_PEER_CANCELLED, false);
        break;
    default:
        break;
    }
}

void ZmodemReceiver::onData(const ZFrameParser::Event& ev, uint64_t now) {
    switch (pending_) {
    case ZSINIT:
        if (sinitFlags_ & kTescCtl) {
            enc_.setEscapeControl(true);
        }
        hex(ZHeader::withPosition(ZACK, 1));
        break;
    case ZFILE:
        pending_ = 0;
        onFileInfo(ev.data, now);
        break;
    case ZCOMMAND:
        // Commands from the line are never run: report the command as failed.
        hex(ZHeader::withPosition(ZCOMPL, 1));
        break;
    case ZDATA: {
        if (state_ != State::Receiving || resync_) {
            break;
        }
        if (!sink_.write(ev.data)) {
            hex(ZHeader::withPosition(ZFERR, 0));
            fail(XFER_STATUS_FILE_ERROR, true);
            return;
        }
        rxPos_ += ev.data.size();
        deadline_ = now + cfg_.dataTimeoutMs;
        if (hadError_ && rxPos_ > errorPos_) {
            hadError_ = false;
            retries_ = 0;
        }
        if (ev.frameEnd == kZcrcq || ev.frameEnd == kZcrcw) {
            // Answered once the bytes at hand are parsed: one ZACK covers them all.
            ackDue_ = true;
        }
        if (now - lastReportMs_ >= cfg_.progressIntervalMs) {
            lastReportMs_ = now;
            report(XFER_ACTION_RX_PROGRESS, recordSize(rxPos_));
        }
        break;
    }
    default:
        break;
    }
}

void ZmodemReceiver::skipFile(int32_t reason) {
    lastAnswer_ = ZHeader::withPosition(ZSKIP, 0);
    hex(lastAnswer_);
    if (reason != XFER_STATUS_OK) {
        fileFailed(reason);
    }
}

void ZmodemReceiver::onFileInfo(std::span<const uint8_t> info, uint64_t now) {
    const bool repeat = !lastInfo_.empty() && lastInfo_.size() == info.size() &&
                        std::equal(info.begin(), info.end(), lastInfo_.begin());
    if (repeat && (state_ == State::Receiving || lastAnswer_.type == ZSKIP)) {
        // The sender missed our answer and asks again: answer the same way.
        if (state_ == State::Receiving) {
            lastAnswer_ = ZHeader::withPosition(ZRPOS, static_cast<uint32_t>(rxPos_));
            resync_ = true;
        }
        hex(lastAnswer_);
        return;
    }
    if (state_ == State::Receiving) {
        // A new file before the last one ended: the last one stays partial.
        sink_.abandon();
        fileFailed(XFER_STATUS_PROTOCOL_ERROR);
        state_ = State::WaitFile;
    }
    lastInfo_.assign(info.begin(), info.end());
    fileDone_ = false;
    record_ = emptyRecord();
    record_.kind = XFER_KIND_ZMODEM;

    const ParsedFileHeader parsed = parseFileHeader(info);
    if (parsed.result == ParsedFileHeader::Result::Invalid) {
        setRecordName(record_, parsed.header.name);
        skipFile(XFER_STATUS_PROTOCOL_ERROR);
        return;
    }
    const auto name = confineReceivedName(parsed.header.name);
    if (parsed.result != ParsedFileHeader::Result::Ok || !name) {
        setRecordName(record_, parsed.header.name);
        skipFile(XFER_STATUS_BAD_NAME);
        return;
    }
    setRecordName(record_, *name);
    declaredSize_ = parsed.header.size;
    mtime_ = parsed.header.mtime;
    record_.size = recordSize(declaredSize_.value_or(0));
    setRecordTime(record_, mtime_);
    // What the sender asked for, as the record's option bits.
    record_.options = (fileF0_ == kZcResume ? XFER_OPT_RESUME : 0) |
                      ((fileF1_ & kZmMask) == kZmClobber ? XFER_OPT_REPLACE : 0) |
                      (enc_.escapeControl() ? XFER_OPT_ESCAPE_CONTROL : 0);

    int32_t decision = XFER_RESULT_GO_ON;
    if (io_.report) {
        decision = io_.report(XFER_ACTION_RX_HEADER, 0, &record_);
    }
    if (decision == XFER_RESULT_STOP) {
        skipFile(XFER_STATUS_OK);
        return;
    }
    const std::string path = normalizeSeparators(recordName(record_));
    if (path.empty()) {
        skipFile(XFER_STATUS_BAD_NAME);
        return;
    }
    const bool resume = decision == XFER_RESULT_RESUME;
    std::string error;
    if (!sink_.open(path, resume ? FileSink::Mode::Resume : FileSink::Mode::Replace, error)) {
        skipFile(XFER_STATUS_FILE_ERROR);
        return;
    }
    if (declaredSize_ && sink_.length() > *declaredSize_) {
        // The local copy is longer than the file offered: continuing cannot give the
        // sender's file, and starting over would destroy the local one.
        sink_.abandon();
        skipFile(XFER_STATUS_SIZE_MISMATCH);
        return;
    }
    if (sink_.length() > 0) {
        const auto crc = sink_.crc32Prefix(sink_.length());
        if (crc) {
            localCrc_ = *crc;
            state_ = State::WaitCrc;
            tries_ = 1;
            askCrc();
            deadline_ = now + cfg_.crcTimeoutMs;
            return;
        }
        // Unreadable local bytes cannot be checked: they are not kept.
    }
    startFile(false, now);
}

void ZmodemReceiver::askCrc() {
    hex(ZHeader::withPosition(ZCRC, static_cast<uint32_t>(sink_.length())));
}

void ZmodemReceiver::startFile(bool keepLocal, uint64_t now) {
    if (!keepLocal && sink_.length() > 0 && !sink_.restart()) {
        hex(ZHeader::withPosition(ZFERR, 0));
        fail(XFER_STATUS_FILE_ERROR, true);
        return;
    }
    rxPos_ = sink_.length();
    retries_ = 0;
    hadError_ = false;
    resync_ = true; // nothing counts until the ZDATA for rxPos_
    state_ = State::Receiving;
    lastAnswer_ = ZHeader::withPosition(ZRPOS, static_cast<uint32_t>(rxPos_));
    hex(lastAnswer_);
    deadline_ = now + cfg_.resyncMs;
    lastReportMs_ = now;
    if (rxPos_ > 0) {
        // A resumed file starts with what it holds; 0 would read as a file's end.
        report(XFER_ACTION_RX_PROGRESS, recordSize(rxPos_));
    }
}

void ZmodemReceiver::requestPosition(uint64_t now, bool countIt) {
    if (countIt) {
        if (hadError_ && rxPos_ <= errorPos_) {
            ++retries_;
        } else {
            retries_ = 1;
        }
        hadError_ = true;
        errorPos_ = rxPos_;
        if (retries_ > cfg_.maxRetries) {
            fail(XFER_STATUS_TOO_MANY_ERRORS, true);
            return;
        }
        if (!report(XFER_ACTION_RETRY, retries_)) {
            return;
        }
    }
    resync_ = true;
    hex(ZHeader::withPosition(ZRPOS, static_cast<uint32_t>(rxPos_)));
    deadline_ = now + cfg_.resyncMs;
}

void ZmodemReceiver::completeFile(uint64_t now) {
    const bool written = sink_.finish(mtime_);
    state_ = State::WaitFile;
    fileDone_ = true;
    tries_ = 0;
    deadline_ = now + cfg_.initRetryMs;
    if (!written) {
        fileFailed(XFER_STATUS_FILE_ERROR);
    } else if (declaredSize_ && *declaredSize_ != rxPos_) {
        fileFailed(XFER_STATUS_SIZE_MISMATCH);
    } else {
        ++filesReceived_;
        record_.size = recordSize(rxPos_);
        if (!report(XFER_ACTION_RX_PROGRESS, 0) ||
            !report(XFER_ACTION_RX_FINISHED, recordSize(rxPos_))) {
            return;
        }
    }
    sendInit();
}

void ZmodemReceiver::tick(uint64_t now) {
    if (state_ == State::Done || now < deadline_) {
        return;
    }
    switch (state_) {
    case State::WaitFile:
        if (++tries_ > cfg_.initTries) {
            fail(XFER_STATUS_TIMEOUT, true);
            return;
        }
        sendInit();
        deadline_ = now + cfg_.initRetryMs;
        break;
    case State::WaitCrc:
        if (++tries_ > cfg_.crcTries) {
            startFile(false, now);
            return;
        }
        askCrc();
        deadline_ = now + cfg_.crcTimeoutMs;
        break;
    case State::Receiving:
        requestPosition(now, true);
        break;
    case State::WaitOver:
        finish(failure_);
        break;
    case State::Done:
        break;
    }
}

} // namespace transvex
