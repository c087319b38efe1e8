// ZMODEM receiver: any number of files, until the sender's ZFIN.
//
// ZRINIT announces full duplex, overlapped I/O and CRC-32 (and, when asked, that every
// control character is to be escaped). For each ZFILE the file-info procedure sees
// the confined name and decides: skip (ZSKIP), receive from the start, or continue the
// local file from its length (crash recovery). Before continuing, the receiver asks the
// sender for the CRC-32 of that many bytes of its file (ZCRC) and continues (ZRPOS at
// the length) only when it matches the local bytes: a different file of the same name
// is received anew from 0, as it is when the sender answers anything else or nothing
// within crcTimeoutMs crcTries times. Subpackets that fail their
// CRC, are longer than 8 KiB or break the escaping cost a ZRPOS to the last good
// position; the receiver then ignores everything up to the ZDATA header for that
// position. Retries count errors at one position and start again once data moves on.
#pragma once

#include "libs/transvex/engine_base.h"
#include "libs/transvex/file_sink.h"
#include "libs/transvex/zmodem_frame.h"

#include <optional>
#include <string>
#include <vector>

namespace transvex {

struct ZmodemReceiverConfig {
    int32_t options = 0;            // XFER_OPT_ESCAPE_CONTROL
    uint16_t bufferSize = 0;        // announced in ZRINIT; 0: the sender may stream freely
    uint32_t initRetryMs = 5000;    // ZRINIT repeated this often while no file comes ...
    int initTries = 12;             // ... this many times
    uint32_t dataTimeoutMs = 10000; // silence in the middle of a file
    uint32_t resyncMs = 2000;       // no ZDATA for the position asked for
    int maxRetries = 20;
    uint32_t ooTimeoutMs = 1000;   // waiting for "OO" after ZFIN
    uint32_t crcTimeoutMs = 10000; // the sender's answer to ZCRC, asked again this often ...
    int crcTries = 3;              // ... this many times in all
    uint32_t progressIntervalMs = 50;
};

enum class ZmodemReceiverState { WaitFile, WaitCrc, Receiving, WaitOver, Done };

class ZmodemReceiver final : public EngineBase<ZmodemReceiverState> {
public:
    using State = ZmodemReceiverState;
    static const char* stateName(State s);

    ZmodemReceiver(ZmodemReceiverConfig config, EngineIo io);

    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t> bytes, uint64_t nowMs) override;
    void tick(uint64_t nowMs) override;
    const char* stateName() const override { return stateName(state_); }

    int filesReceived() const { return filesReceived_; }

private:
    void onEvent(const ZFrameParser::Event& ev, uint64_t now);
    void onHeader(const ZHeader& h, uint64_t now);
    void onData(const ZFrameParser::Event& ev, uint64_t now);
    void onFileInfo(std::span<const uint8_t> info, uint64_t now);
    void skipFile(int32_t reason);
    void askCrc();
    void startFile(bool keepLocal, uint64_t now);
    void completeFile(uint64_t now);
    void requestPosition(uint64_t now, bool countIt);
    void sendInit();
    void hex(const ZHeader& h);
    void onFail() override { sink_.abandon(); }

    ZmodemReceiverConfig cfg_;
    FileSink sink_;
    ZFrameParser parser_;
    ZdleEncoder enc_;
    std::vector<uint8_t> out_;

    int tries_ = 0;

    uint8_t pending_ = 0; // header type whose subpackets are being read
    uint8_t sinitFlags_ = 0;
    uint8_t fileF0_ = 0; // conversion and management the sender asked for
    uint8_t fileF1_ = 0;
    std::vector<uint8_t> lastInfo_;
    ZHeader lastAnswer_;    // the answer to the last ZFILE, repeated for a repeat
    bool fileDone_ = false; // the last file was completed (its ZRINIT may be lost)

    bool resync_ = false;
    bool ackDue_ = false;
    uint64_t rxPos_ = 0;
    std::optional<uint64_t> declaredSize_;
    int64_t mtime_ = 0;
    int retries_ = 0;
    uint64_t errorPos_ = 0;
    bool hadError_ = false;
    int filesReceived_ = 0;
    uint32_t localCrc_ = 0; // of the local file's bytes, while the sender's is asked for
};

} // namespace transvex
