// ZMODEM sender of one file.
//
// ZRQINIT until the receiver's ZRINIT; ZSINIT when every control character is to be
// escaped; ZFILE with name, size, time and mode; then data from the position the
// receiver's ZRPOS names, in ZDATA frames of CRC-checked subpackets, and ZEOF. A file
// with nothing left to send still gets a ZDATA header and one empty subpacket before
// its ZEOF. When the receiver confirms the file (ZRINIT) or skips it (ZSKIP), the
// file-info procedure decides whether the session ends (ZFIN, "OO") or stays open for
// the next send call, which then starts at its ZFILE: the ZRQINIT (and "rz\r") opens
// a session once, as receivers may ignore it once a session runs.
//
// Data in flight is bounded: the sender asks for a ZACK with every subpacket and keeps
// at most four subpackets unacknowledged (less when the receiver announces a smaller
// buffer; then each buffer's worth ends with ZCRCW and a wait). A ZRPOS drops the
// output not yet on the line, halves the subpacket length (down to 256) and goes back
// to the named position; 32 KiB acknowledged without error doubles it again (up to
// 8 KiB). Without any ZACK for stallMs while the window is full, the sender ends the
// frame and starts again at the last acknowledged position. Retries count errors at
// the same position and start again once data moves on.
#pragma once

#include "libs/transvex/engine_base.h"
#include "libs/transvex/file_source.h"
#include "libs/transvex/zmodem_frame.h"

#include <optional>
#include <string>
#include <vector>

namespace transvex {

// An open session as the sender of its next file takes it over: what the receiver's
// ZRINIT said, and whether a ZSINIT already announced escaped control characters.
struct ZmodemSession {
    uint8_t rxFlags = 0;
    uint32_t rxBufSize = 0;
    bool escapeAnnounced = false;
};

struct ZmodemSenderConfig {
    std::string path;                   // the local file
    int32_t options = XFER_OPT_REPLACE; // XFER_OPT_* before the SYN action
    uint32_t initRetryMs = 5000;        // ZRQINIT repeated this often ...
    int initTries = 12;                 // ... this many times
    uint32_t answerTimeoutMs = 10000;   // for answers to ZFILE, ZSINIT, ZEOF, ZCRCW
    int answerTries = 10;
    uint32_t stallMs = 1000; // window full without any ZACK
    uint32_t finTimeoutMs = 2000;
    int finTries = 3;
    int maxRetries = 20; // errors at one position
    size_t initialSubpacket = 1024;
    size_t maxSubpacket = 8192;
    size_t minSubpacket = 256;
    uint32_t progressIntervalMs = 50;
    bool sendRzCommand = true; // "rz\r" before the first ZRQINIT
    // Set: the session a previous sender left open; this file starts with ZFILE.
    std::optional<ZmodemSession> session;
};

enum class ZmodemSenderState {
    WaitInit,
    WaitSinitAck,
    WaitFilePos,
    Sending,
    WaitSegmentAck,
    WaitEofAck,
    WaitFinAck,
    Done,
};

class ZmodemSender final : public EngineBase<ZmodemSenderState> {
public:
    using State = ZmodemSenderState;
    static const char* stateName(State s);

    ZmodemSender(ZmodemSenderConfig config, EngineIo io);

    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t> bytes, uint64_t nowMs) override;
    void tick(uint64_t nowMs) override;
    bool ready() const override;
    uint64_t deadline() const override;
    const char* stateName() const override { return stateName(state_); }

    size_t subpacketLength() const { return subLen_; }
    uint64_t bytesAcknowledged() const { return ackPos_; }
    int retries() const { return retries_; }
    // Once finished: the session the file-info procedure kept open (result
    // XFER_RESULT_MORE_FILES), or the one this sender took over when its file could not
    // be read (nothing went to the line), for the sender of the next file.
    std::optional<ZmodemSession> sessionLeftOpen() const;

private:
    void onEvent(const ZFrameParser::Event& ev, uint64_t now);
    void onHeader(const ZHeader& h, uint64_t now);
    void onReceiverInit(const ZHeader& h, uint64_t now);
    void takeReceiver(uint8_t flags, uint32_t bufSize);
    void prepareFile(uint64_t now);
    void sendSinit(uint64_t now);
    void sendZfile(uint64_t now);
    void sendEof(uint64_t now);
    void sendFin(uint64_t now);
    void sendNextData(uint64_t now);
    void onAck(uint32_t pos, uint64_t now);
    void onRpos(uint32_t pos, uint64_t now);
    void goBack(uint64_t now);
    void fileConfirmed(uint64_t now);
    void fileSkipped(uint64_t now);
    void afterFile(int32_t result, uint64_t now);
    void sendEmptyData(uint64_t now);
    void onFail() override { out_.clear(); }
    void onFinish() override { file_.close(); }
    bool countRetry(uint64_t errorPos, uint64_t now);
    bool progress(uint64_t now, bool force);
    bool windowOpen() const;
    void hexHeader(const ZHeader& h);
    void binHeader(const ZHeader& h);
    void flush();

    ZmodemSenderConfig cfg_;
    FileSource file_;
    ZFrameParser parser_{true};
    ZdleEncoder enc_;
    std::vector<uint8_t> out_;
    std::vector<uint8_t> chunk_;
    std::vector<uint8_t> fileInfo_;

    int32_t endStatus_ = XFER_STATUS_OK;
    int tries_ = 0;

    bool crc32_ = false;
    uint8_t rxFlags_ = 0;
    uint32_t rxBufSize_ = 0;
    bool segmented_ = false;
    bool escapeAnnounced_ = false;
    bool leftOpen_ = false;

    uint64_t size_ = 0;
    int64_t mtime_ = 0;
    uint64_t pos_ = 0;
    uint64_t ackPos_ = 0;
    uint64_t segmentStart_ = 0;
    bool frameOpen_ = false;
    size_t subLen_ = 1024;
    size_t window_ = 4096;
    uint64_t cleanBytes_ = 0;
    uint64_t lastProgressMs_ = 0; // last time data was acknowledged or restarted
    uint64_t fileSentMs_ = 0;
    bool reportedOnce_ = false;
    int retries_ = 0;
    uint64_t errorPos_ = 0;
    bool hadError_ = false;
};

} // namespace transvex
