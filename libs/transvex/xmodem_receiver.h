// Receiver of the XMODEM family.
//
// Modes: XMODEM with the 8-bit sum (starts with NAK), XMODEM/CRC (starts with 'C' and
// falls back to the sum after three unanswered 'C'), 1K XMODEM (CRC; takes 128- and
// 1024-byte blocks, also a YMODEM block 0, whose size then trims the file) and YMODEM
// batch (block 0 names each file; the file-info procedure decides where it goes; the
// all-NUL block 0 ends the session).
//
// XMODEM carries no length: the last block before EOT is held back and its trailing
// Ctrl-Z padding removed, so a file that itself ends in Ctrl-Z bytes loses them. With
// a size from block 0 the file is cut to that size instead, and a file that ends
// shorter than its announced size is reported as failed.
//
// A damaged block is answered, once the line has been quiet for a moment, with NAK;
// a repeated block (our ACK was lost) with ACK; a block out of sequence cancels the
// session. The first EOT gets a NAK: only a repeated EOT ends the file, so a single
// damaged byte cannot cut it short.
#pragma once

#include "libs/transvex/engine_base.h"
#include "libs/transvex/file_sink.h"

#include <optional>
#include <string>
#include <vector>

namespace transvex {

struct XmodemReceiverConfig {
    enum class Mode { Checksum, Crc, Xmodem1k, YmodemBatch };
    Mode mode = Mode::Crc;
    std::string path;                // target file (every mode but YmodemBatch)
    uint32_t startRetryMs = 3000;    // start character repeated this often ...
    int startTries = 20;             // ... this many times
    uint32_t blockTimeoutMs = 10000; // waiting for the next block
    uint32_t charTimeoutMs = 1000;   // silence inside a block; quiet before a NAK
    int maxRetries = 10;
    uint32_t progressIntervalMs = 50;
};

enum class XmodemReceiverState {
    Start,     // sending the start character, nothing received yet
    WaitBlock, // for SOH, STX or EOT
    InBlock,
    Purge,   // after a damaged block: reading until the line is quiet
    WaitEot, // the first EOT was answered with NAK
    Done,
};

class XmodemReceiver final : public EngineBase<XmodemReceiverState> {
public:
    using State = XmodemReceiverState;
    static const char* stateName(State s);

    XmodemReceiver(XmodemReceiverConfig config, EngineIo io);

    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t> bytes, uint64_t nowMs) override;
    void tick(uint64_t nowMs) override;
    const char* stateName() const override { return stateName(state_); }
    int filesReceived() const { return filesReceived_; }

private:
    void onByte(uint8_t b, uint64_t now);
    void blockComplete(uint64_t now);
    void acceptHeader(std::span<const uint8_t> data, uint64_t now);
    void acceptData(std::span<const uint8_t> data, uint64_t now);
    bool writeData(std::span<const uint8_t> data);
    void fileEnd(uint64_t now);
    void damaged(uint64_t now);
    void send(uint8_t b);
    void sendStart(uint64_t now);
    bool openTarget(const std::string& path);
    void onFail() override { sink_.abandon(); }

    XmodemReceiverConfig cfg_;
    FileSink sink_;
    bool crc_ = true;
    int startsSent_ = 0;
    int retries_ = 0;
    int cans_ = 0;

    bool expectHeader_ = false; // the next block is a block 0
    bool sawHeader_ = false;    // this session had a block 0 (1K XMODEM mode)
    bool discard_ = false;      // receiving a skipped file
    bool fileOpen_ = false;
    uint8_t expected_ = 1;
    uint8_t blockType_ = 0;
    size_t need_ = 0;
    std::vector<uint8_t> rest_;
    std::vector<uint8_t> held_; // the last block, until we know it is not the last
    std::optional<uint64_t> size_;
    uint64_t written_ = 0; // file bytes received in this transfer (held ones included)
    int64_t mtime_ = 0;
    int filesReceived_ = 0;
};

} // namespace transvex
