// Sender of the XMODEM family: XMODEM (128-byte blocks, or 1024 with the K option),
// 1K XMODEM ("YMODEM" without a header block) and YMODEM batch (block 0 with name,
// size, time and mode before the data; the all-NUL block 0 ends the session).
//
// The receiver's start character decides the check: NAK for the 8-bit sum, 'C' for
// CRC-16. Each block waits for ACK; NAK or silence repeats it. EOT ends a file and is
// repeated until acknowledged (receivers answer the first EOT with NAK to make sure).
#pragma once

#include "libs/transvex/engine_base.h"
#include "libs/transvex/file_source.h"

#include <string>
#include <vector>

namespace transvex {

struct XmodemSenderConfig {
    enum class Mode { Xmodem, Xmodem1k, YmodemBatch };
    std::string path;
    Mode mode = Mode::Xmodem;
    bool use1k = false;              // Xmodem: 1024-byte blocks
    bool shortBlocks = false;        // Xmodem1k, YmodemBatch: 128-byte blocks only
    uint32_t startTimeoutMs = 60000; // waiting for the receiver's first NAK or 'C'
    uint32_t ackTimeoutMs = 10000;   // waiting for ACK or NAK of a block
    int maxRetries = 10;
    uint32_t progressIntervalMs = 50;
};

enum class XmodemSenderState {
    WaitStart,     // for the NAK or 'C' before the first block (or block 0)
    WaitHeaderAck, // block 0 sent
    WaitDataStart, // block 0 acknowledged, waiting for 'C'
    WaitBlockAck,
    WaitEotAck,
    WaitEndStart, // for the 'C' before the closing empty block 0
    WaitEndAck,
    Done,
};

class XmodemSender final : public EngineBase<XmodemSenderState> {
public:
    using State = XmodemSenderState;
    static const char* stateName(State s);

    XmodemSender(XmodemSenderConfig config, EngineIo io);

    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t> bytes, uint64_t nowMs) override;
    void tick(uint64_t nowMs) override;
    const char* stateName() const override { return stateName(state_); }
    // After a successful finish: a YMODEM batch the file-info procedure kept open
    // (XFER_RESULT_MORE_FILES); its receiver waits for the next header block.
    bool batchLeftOpen() const {
        return leftOpen_ && state_ == State::Done && status_ == XFER_STATUS_OK;
    }

private:
    void onByte(uint8_t b, uint64_t now);
    void prepareHeader();
    void sendBlock(uint64_t now);
    bool nextBlock(uint64_t now);
    void sendEot(uint64_t now);
    void retry(uint64_t now);
    void fileDone(uint64_t now);
    bool progress(uint64_t now, bool force);
    void onFinish() override { file_.close(); }

    XmodemSenderConfig cfg_;
    FileSource file_;
    int32_t endStatus_ = XFER_STATUS_OK;
    bool crc_ = true;
    int cans_ = 0;
    int retries_ = 0;
    uint8_t number_ = 1;
    uint64_t pos_ = 0;     // file offset of the current block
    size_t blockData_ = 0; // file bytes in the current block
    std::vector<uint8_t> block_;
    std::vector<uint8_t> chunk_;
    uint64_t size_ = 0;
    int64_t mtime_ = 0;
    std::string headerName_;
    bool reported_ = false;
    bool leftOpen_ = false;
};

} // namespace transvex
