#include "libs/transvex/zmodem_sender.h"

#include "libs/transvex/file_record.h"

#include <algorithm>
#include <cstdio>

namespace transvex {
namespace {

constexpr uint64_t kGrowAfter = 32 * 1024;
constexpr size_t kMaxWindowFactor = 16;
constexpr uint64_t kRinitRepeatMs = 1000;
constexpr int kSubpacketsPerWrite = 8;

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

const char* ZmodemSender::stateName(State s) {
    switch (s) {
    case State::WaitInit:
        return "WaitInit";
    case State::WaitSinitAck:
        return "WaitSinitAck";
    case State::WaitFilePos:
        return "WaitFilePos";
    case State::Sending:
        return "Sending";
    case State::WaitSegmentAck:
        return "WaitSegmentAck";
    case State::WaitEofAck:
        return "WaitEofAck";
    case State::WaitFinAck:
        return "WaitFinAck";
    case State::Done:
        return "Done";
    }
    return "?";
}

ZmodemSender::ZmodemSender(ZmodemSenderConfig config, EngineIo io)
    : EngineBase(std::move(io), State::WaitInit), cfg_(std::move(config)) {
    cfg_.minSubpacket = std::clamp<size_t>(cfg_.minSubpacket, 32, kMaxSubpacket);
    cfg_.maxSubpacket = std::clamp(cfg_.maxSubpacket, cfg_.minSubpacket, kMaxSubpacket);
    subLen_ = std::clamp(cfg_.initialSubpacket, cfg_.minSubpacket, cfg_.maxSubpacket);
    window_ = 4 * subLen_;
    chunk_.resize(kMaxSubpacket);
}

void ZmodemSender::flush() {
    if (!out_.empty()) {
        io_.write(out_);
        out_.clear();
    }
}

void ZmodemSender::hexHeader(const ZHeader& h) {
    appendHexHeader(h, out_);
    flush();
}

void ZmodemSender::binHeader(const ZHeader& h) {
    appendBinaryHeader(h, crc32_, enc_, out_);
}

void ZmodemSender::start(uint64_t now) {
    std::string error;
    bool usable = file_.open(cfg_.path, error);
    if (usable) {
        size_ = file_.size();
        mtime_ = file_.mtime();
        usable = size_ <= 0xFFFFFFFFull; // positions on the line are 32 bits wide
    }
    if (!usable) {
        setRecordName(record_, cfg_.path);
        fail(XFER_STATUS_FILE_ERROR, false);
        if (cfg_.session) {
            // Nothing went to the line: the session waits for the next file as before.
            takeReceiver(cfg_.session->rxFlags, cfg_.session->rxBufSize);
            escapeAnnounced_ = cfg_.session->escapeAnnounced;
            leftOpen_ = true;
        }
        return;
    }
    if (cfg_.session) {
        // The receiver already runs this session and waits for the next ZFILE.
        takeReceiver(cfg_.session->rxFlags, cfg_.session->rxBufSize);
        escapeAnnounced_ = cfg_.session->escapeAnnounced;
        prepareFile(now);
        return;
    }
    if (cfg_.sendRzCommand) {
        static const uint8_t kRz[] = {'r', 'z', '\r'};
        io_.write(kRz);
    }
    hexHeader(ZHeader::withPosition(ZRQINIT, 0));
    state_ = State::WaitInit;
    tries_ = 1;
    deadline_ = now + cfg_.initRetryMs;
}

void ZmodemSender::feed(std::span<const uint8_t> bytes, uint64_t now) {
    if (state_ == State::Done) {
        return;
    }
    parser_.push(bytes, [&](const ZFrameParser::Event& ev) { onEvent(ev, now); });
}

void ZmodemSender::onEvent(const ZFrameParser::Event& ev, uint64_t now) {
    if (state_ == State::Done) {
        return;
    }
    switch (ev.kind) {
    case ZFrameParser::Kind::Header:
        onHeader(ev.header, now);
        break;
    case ZFrameParser::Kind::Cancel:
        fail(XFER_STATUS_PEER_CANCELLED, false);
        break;
    default:
        break; // a garbled answer: the timers repeat what is needed
    }
}

void ZmodemSender::onHeader(const ZHeader& h, uint64_t now) {
    switch (h.type) {
    case ZCAN:
    case ZABORT:
    case ZFERR:
        fail(XFER_STATUS_PEER_CANCELLED, true);
        return;
    case ZCHALLENGE:
        hexHeader(ZHeader::withPosition(ZACK, h.position()));
        return;
    default:
        break;
    }
    switch (state_) {
    case State::WaitInit:
        if (h.type == ZRINIT) {
            onReceiverInit(h, now);
        } else if (h.type == ZNAK) {
            hexHeader(ZHeader::withPosition(ZRQINIT, 0));
        }
        break;
    case State::WaitSinitAck:
        if (h.type == ZACK) {
            escapeAnnounced_ = true;
            sendZfile(now);
        } else if (h.type == ZNAK || h.type == ZRINIT) {
            sendSinit(now);
        }
        break;
    case State::WaitFilePos:
        if (h.type == ZRPOS) {
            const uint32_t p = h.position();
            if (p > size_) {
                fail(XFER_STATUS_PROTOCOL_ERROR, true);
                return;
            }
            pos_ = ackPos_ = segmentStart_ = p;
            errorPos_ = p;
            retries_ = 0;
            frameOpen_ = false;
            lastProgressMs_ = now;
            state_ = State::Sending;
            progress(now, true);
        } else if (h.type == ZSKIP) {
            fileSkipped(now);
        } else if (h.type == ZNAK || (h.type == ZRINIT && now - fileSentMs_ >= kRinitRepeatMs)) {
            // A ZRINIT right after our ZFILE answers our own ZRQINIT; only a later one
            // says the receiver missed the ZFILE.
            if (countRetry(0, now)) {
                sendZfile(now);
            }
        } else if (h.type == ZCRC) {
            const auto crc = file_.crc32Prefix(h.position());
            if (!crc) {
                fail(XFER_STATUS_FILE_ERROR, true);
                return;
            }
            hexHeader(ZHeader::withPosition(ZCRC, *crc));
            deadline_ = now + cfg_.answerTimeoutMs;
        } else if (h.type == ZFIN) {
            fail(XFER_STATUS_PEER_CANCELLED, false);
        }
        break;
    case State::Sending:
    case State::WaitSegmentAck:
    case State::WaitEofAck:
        if (h.type == ZACK) {
            onAck(h.position(), now);
        } else if (h.type == ZRPOS) {
            onRpos(h.position(), now);
        } else if (h.type == ZSKIP) {
            fileSkipped(now);
        } else if (h.type == ZRINIT && state_ == State::WaitEofAck) {
            fileConfirmed(now);
        } else if (h.type == ZNAK && state_ == State::WaitEofAck) {
            sendEof(now);
        } else if (h.type == ZFIN) {
            fail(XFER_STATUS_PEER_CANCELLED, false);
        }
        break;
    case State::WaitFinAck:
        if (h.type == ZFIN) {
            static const uint8_t kOver[] = {'O', 'O'};
            io_.write(kOver);
            finish(endStatus_);
        }
        break;
    case State::Done:
        break;
    }
}

void ZmodemSender::onReceiverInit(const ZHeader& h, uint64_t now) {
    takeReceiver(h.f0(), h.p[0] | (uint32_t(h.p[1]) << 8));
    prepareFile(now);
}

void ZmodemSender::takeReceiver(uint8_t flags, uint32_t bufSize) {
    rxFlags_ = flags;
    rxBufSize_ = bufSize;
    crc32_ = (rxFlags_ & kCanFc32) != 0;
    segmented_ = rxBufSize_ != 0 || (rxFlags_ & kCanFdx) == 0 || (rxFlags_ & kCanOvio) == 0;
    if (rxBufSize_ != 0) {
        // A receiver with a small buffer gets subpackets that fit it.
        subLen_ = std::clamp<size_t>(std::min<size_t>(subLen_, rxBufSize_), 32, kMaxSubpacket);
    }
}

std::optional<ZmodemSession> ZmodemSender::sessionLeftOpen() const {
    if (state_ != State::Done || !leftOpen_) {
        return std::nullopt;
    }
    return ZmodemSession{rxFlags_, rxBufSize_, escapeAnnounced_};
}

void ZmodemSender::prepareFile(uint64_t now) {
    record_ = emptyRecord();
    setRecordName(record_, cfg_.path);
    record_.kind = XFER_KIND_ZMODEM;
    record_.size = recordSize(size_);
    setRecordTime(record_, mtime_);
    record_.options = cfg_.options;
    if (!offerFile(size_, mtime_, true)) {
        return;
    }
    const int32_t opts = record_.options;
    enc_.setEscapeControl((opts & XFER_OPT_ESCAPE_CONTROL) != 0 || (rxFlags_ & kEscCtl) != 0);

    std::string name = lastComponent(normalizeSeparators(recordName(record_)));
    if (name.empty()) {
        name = lastComponent(cfg_.path);
    }
    char info[96];
    const int n = std::snprintf(
        info, sizeof info, "%llu %llo %o 0 1 %llu", static_cast<unsigned long long>(size_),
        static_cast<unsigned long long>(mtime_ > 0 ? mtime_ : 0),
        static_cast<unsigned>(file_.mode() & 0177777), static_cast<unsigned long long>(size_));
    fileInfo_.assign(name.begin(), name.end());
    fileInfo_.push_back(0);
    fileInfo_.insert(fileInfo_.end(), info, info + n);
    fileInfo_.push_back(0);

    tries_ = 0;
    if (enc_.escapeControl() && !escapeAnnounced_) {
        sendSinit(now);
    } else {
        sendZfile(now);
    }
}

void ZmodemSender::sendSinit(uint64_t now) {
    if (++tries_ > cfg_.answerTries) {
        fail(XFER_STATUS_TIMEOUT, true);
        return;
    }
    binHeader(ZHeader::withFlags(ZSINIT, kTescCtl));
    static const uint8_t kNoAttention[] = {0};
    appendSubpacket(kNoAttention, kZcrcw, crc32_, enc_, out_);
    flush();
    state_ = State::WaitSinitAck;
    deadline_ = now + cfg_.answerTimeoutMs;
}

void ZmodemSender::sendZfile(uint64_t now) {
    const int32_t opts = record_.options;
    const uint8_t conversion = (opts & XFER_OPT_RESUME) ? kZcResume : kZcBin;
    const uint8_t management = (opts & XFER_OPT_REPLACE) ? kZmClobber : kZmProtect;
    binHeader(ZHeader::withFlags(ZFILE, conversion, management));
    appendSubpacket(fileInfo_, kZcrcw, crc32_, enc_, out_);
    flush();
    state_ = State::WaitFilePos;
    fileSentMs_ = now;
    deadline_ = now + cfg_.answerTimeoutMs;
}

void ZmodemSender::sendEof(uint64_t now) {
    binHeader(ZHeader::withPosition(ZEOF, static_cast<uint32_t>(size_)));
    flush();
    state_ = State::WaitEofAck;
    deadline_ = now + cfg_.answerTimeoutMs;
}

void ZmodemSender::sendFin(uint64_t now) {
    hexHeader(ZHeader::withPosition(ZFIN, 0));
    state_ = State::WaitFinAck;
    deadline_ = now + cfg_.finTimeoutMs;
}

bool ZmodemSender::windowOpen() const {
    if (segmented_ || pos_ == ackPos_) {
        return true;
    }
    const size_t next = static_cast<size_t>(std::min<uint64_t>(subLen_, size_ - pos_));
    return pos_ - ackPos_ + next <= window_;
}

bool ZmodemSender::ready() const {
    return state_ == State::Sending && windowOpen();
}

uint64_t ZmodemSender::deadline() const {
    if (state_ == State::Sending) {
        return windowOpen() ? 0 : lastProgressMs_ + cfg_.stallMs;
    }
    return deadline_;
}

bool ZmodemSender::progress(uint64_t now, bool force) {
    if (!io_.report) {
        return true;
    }
    if (!force && reportedOnce_ && now - lastReportMs_ < cfg_.progressIntervalMs) {
        return true;
    }
    reportedOnce_ = true;
    lastReportMs_ = now;
    if (io_.report(XFER_ACTION_TX_PROGRESS, recordSize(pos_), &record_) == XFER_RESULT_STOP) {
        fail(XFER_STATUS_ABORTED, true);
        return false;
    }
    return true;
}

void ZmodemSender::tick(uint64_t now) {
    switch (state_) {
    case State::Sending:
        if (windowOpen()) {
            // Several subpackets go out in one write while the window allows: fewer
            // system calls on a fast line.
            for (int n = 0; n < kSubpacketsPerWrite && state_ == State::Sending && windowOpen();
                 ++n) {
                sendNextData(now);
            }
            flush();
        } else if (now >= lastProgressMs_ + cfg_.stallMs) {
            goBack(now);
        }
        return;
    case State::Done:
        return;
    default:
        break;
    }
    if (now < deadline_) {
        return;
    }
    switch (state_) {
    case State::WaitInit:
        if (++tries_ > cfg_.initTries) {
            fail(XFER_STATUS_TIMEOUT, true);
            return;
        }
        hexHeader(ZHeader::withPosition(ZRQINIT, 0));
        deadline_ = now + cfg_.initRetryMs;
        break;
    case State::WaitSinitAck:
        sendSinit(now);
        break;
    case State::WaitFilePos:
        if (countRetry(0, now)) {
            sendZfile(now);
        }
        break;
    case State::WaitSegmentAck:
        // The ZACK for ZCRCW is missing: start again where the receiver last confirmed.
        if (countRetry(ackPos_, now)) {
            pos_ = segmentStart_ = ackPos_;
            frameOpen_ = false;
            state_ = State::Sending;
            lastProgressMs_ = now;
        }
        break;
    case State::WaitEofAck:
        if (countRetry(size_, now)) {
            sendEof(now);
        }
        break;
    case State::WaitFinAck:
        if (++tries_ >= cfg_.finTries) {
            // The file itself was confirmed; only the goodbye went unanswered.
            finish(endStatus_);
            return;
        }
        hexHeader(ZHeader::withPosition(ZFIN, 0));
        deadline_ = now + cfg_.finTimeoutMs;
        break;
    default:
        break;
    }
}

bool ZmodemSender::countRetry(uint64_t errorPos, uint64_t now) {
    if (hadError_ && errorPos <= errorPos_) {
        ++retries_;
    } else {
        retries_ = 1;
    }
    hadError_ = true;
    errorPos_ = errorPos;
    if (retries_ > cfg_.maxRetries) {
        fail(XFER_STATUS_TOO_MANY_ERRORS, true);
        return false;
    }
    (void)now;
    if (io_.report && io_.report(XFER_ACTION_RETRY, retries_, &record_) == XFER_RESULT_STOP) {
        fail(XFER_STATUS_ABORTED, true);
        return false;
    }
    return state_ != State::Done;
}

void ZmodemSender::sendNextData(uint64_t now) {
    if (!frameOpen_) {
        if (pos_ >= size_) {
            sendEmptyData(now);
            return;
        }
        binHeader(ZHeader::withPosition(ZDATA, static_cast<uint32_t>(pos_)));
        frameOpen_ = true;
        segmentStart_ = pos_;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(subLen_, size_ - pos_));
    const uint64_t segmentLimit = rxBufSize_ != 0 ? rxBufSize_ : subLen_;
    if (segmented_) {
        n = static_cast<size_t>(std::min<uint64_t>(n, segmentStart_ + segmentLimit - pos_));
    }
    const ssize_t got = file_.read(pos_, chunk_.data(), n);
    if (got != static_cast<ssize_t>(n)) {
        fail(XFER_STATUS_FILE_ERROR, true);
        return;
    }
    const bool last = pos_ + n == size_;
    uint8_t end = kZcrcq;
    if (last) {
        end = kZcrce;
    } else if (segmented_ && pos_ + n - segmentStart_ >= segmentLimit) {
        end = kZcrcw;
    }
    appendSubpacket(std::span<const uint8_t>(chunk_.data(), n), end, crc32_, enc_, out_);
    pos_ += n;
    if (last) {
        frameOpen_ = false;
        binHeader(ZHeader::withPosition(ZEOF, static_cast<uint32_t>(size_)));
        flush();
        state_ = State::WaitEofAck;
        deadline_ = now + cfg_.answerTimeoutMs;
        progress(now, true);
        return;
    }
    if (end == kZcrcw) {
        flush();
        frameOpen_ = false;
        state_ = State::WaitSegmentAck;
        deadline_ = now + cfg_.answerTimeoutMs;
    }
    progress(now, false);
}

void ZmodemSender::sendEmptyData(uint64_t now) {
    // Nothing left to send (an empty file, or a receiver that holds it all): a data
    // frame of one empty subpacket still comes before ZEOF, as receivers expect.
    binHeader(ZHeader::withPosition(ZDATA, static_cast<uint32_t>(pos_)));
    appendSubpacket({}, kZcrce, crc32_, enc_, out_);
    progress(now, true);
    if (state_ != State::Done) {
        sendEof(now);
    }
}

void ZmodemSender::onAck(uint32_t p, uint64_t now) {
    if (p > ackPos_ && p <= pos_) {
        cleanBytes_ += p - ackPos_;
        ackPos_ = p;
        lastProgressMs_ = now;
        if (ackPos_ > errorPos_) {
            hadError_ = false;
            retries_ = 0;
        }
        if (cleanBytes_ >= kGrowAfter && subLen_ < cfg_.maxSubpacket &&
            (rxBufSize_ == 0 || subLen_ * 2 <= rxBufSize_)) {
            subLen_ *= 2;
            window_ = 4 * subLen_;
            cleanBytes_ = 0;
        } else if (cleanBytes_ >= 4 * kGrowAfter && subLen_ == cfg_.maxSubpacket &&
                   window_ < kMaxWindowFactor * subLen_) {
            // A clean, fast line: more in flight keeps it busy while ZACKs travel.
            window_ *= 2;
            cleanBytes_ = 0;
        }
    }
    if (state_ == State::WaitSegmentAck) {
        if (p == pos_) {
            state_ = State::Sending;
        } else if (p < pos_) {
            onRpos(p, now);
        }
    }
}

void ZmodemSender::onRpos(uint32_t p, uint64_t now) {
    if (p > size_) {
        fail(XFER_STATUS_PROTOCOL_ERROR, true);
        return;
    }
    if (!countRetry(p, now)) {
        return;
    }
    if (io_.purgeOutput) {
        io_.purgeOutput();
    }
    if (p < pos_) {
        subLen_ = std::max(cfg_.minSubpacket, subLen_ / 2);
        window_ = 4 * subLen_;
    }
    cleanBytes_ = 0;
    pos_ = ackPos_ = segmentStart_ = p;
    frameOpen_ = false;
    state_ = State::Sending;
    lastProgressMs_ = now;
}

void ZmodemSender::goBack(uint64_t now) {
    if (!countRetry(ackPos_, now)) {
        return;
    }
    if (frameOpen_) {
        // End the frame so the receiver looks for the header that follows.
        appendSubpacket({}, kZcrce, crc32_, enc_, out_);
        flush();
    }
    pos_ = segmentStart_ = ackPos_;
    frameOpen_ = false;
    lastProgressMs_ = now;
}

void ZmodemSender::fileConfirmed(uint64_t now) {
    pos_ = size_;
    progress(now, true);
    if (state_ == State::Done) {
        return;
    }
    file_.close();
    int32_t result = XFER_RESULT_GO_ON;
    if (io_.report) {
        result = io_.report(XFER_ACTION_TX_FINISHED, recordSize(size_), &record_);
    }
    afterFile(result, now);
}

void ZmodemSender::fileSkipped(uint64_t now) {
    // The receiver keeps what it has; data still queued for the line is of no use.
    out_.clear();
    if (io_.purgeOutput && (state_ == State::Sending || state_ == State::WaitSegmentAck)) {
        io_.purgeOutput();
    }
    file_.close();
    int32_t result = XFER_RESULT_GO_ON;
    if (io_.report) {
        result = io_.report(XFER_ACTION_TX_SKIPPED, recordSize(ackPos_), &record_);
    }
    afterFile(result, now);
}

void ZmodemSender::afterFile(int32_t result, uint64_t now) {
    if (result == XFER_RESULT_MORE_FILES) {
        // The receiver waits for the next ZFILE, which the next send call sends.
        leftOpen_ = true;
        finish(XFER_STATUS_OK);
        return;
    }
    endStatus_ = result == XFER_RESULT_STOP ? XFER_STATUS_ABORTED : XFER_STATUS_OK;
    tries_ = 0;
    sendFin(now);
}

} // namespace transvex
