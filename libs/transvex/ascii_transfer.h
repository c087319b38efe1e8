// Plain text transfers. Sending puts the file on the line unchanged. Receiving stores
// every byte until a Ctrl-Z (0x1A, not stored; unless keepSub), the sender's silence
// for silenceMs after its first byte, or a hang-up; nothing at all within startMs is a
// time-out.
#pragma once

#include "libs/transvex/engine.h"
#include "libs/transvex/file_sink.h"
#include "libs/transvex/file_source.h"

#include <string>
#include <vector>

namespace transvex {

struct AsciiSenderConfig {
    std::string path;
    size_t chunk = 1024; // bytes handed to the line per step
    uint32_t progressIntervalMs = 50;
};

class AsciiSender final : public Engine {
public:
    enum class State { Sending, Done };
    static const char* stateName(State s) { return s == State::Sending ? "Sending" : "Done"; }

    AsciiSender(AsciiSenderConfig config, EngineIo io);
    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t>, uint64_t) override {}
    void tick(uint64_t nowMs) override;
    void abort(uint64_t nowMs) override;
    void lineLost() override;
    bool ready() const override { return state_ == State::Sending; }
    uint64_t deadline() const override { return 0; }
    bool finished() const override { return state_ == State::Done; }
    int32_t status() const override { return status_; }
    const char* stateName() const override { return stateName(state_); }

private:
    void fail(int32_t status);

    AsciiSenderConfig cfg_;
    EngineIo io_;
    FileSource file_;
    XferFileInfo record_{};
    std::vector<uint8_t> chunk_;
    State state_ = State::Sending;
    int32_t status_ = XFER_STATUS_OK;
    uint64_t pos_ = 0;
    uint64_t lastReportMs_ = 0;
};

struct AsciiReceiverConfig {
    std::string path;
    bool keepSub = false;
    uint32_t startMs = 60000;
    uint32_t silenceMs = 10000;
    uint32_t progressIntervalMs = 50;
};

class AsciiReceiver final : public Engine {
public:
    enum class State { WaitFirst, Receiving, Done };
    static const char* stateName(State s);

    AsciiReceiver(AsciiReceiverConfig config, EngineIo io);
    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t> bytes, uint64_t nowMs) override;
    void tick(uint64_t nowMs) override;
    void abort(uint64_t nowMs) override;
    void lineLost() override;
    uint64_t deadline() const override { return deadline_; }
    bool finished() const override { return state_ == State::Done; }
    int32_t status() const override { return status_; }
    const char* stateName() const override { return stateName(state_); }

private:
    void end();
    void fail(int32_t status);

    AsciiReceiverConfig cfg_;
    EngineIo io_;
    FileSink sink_;
    XferFileInfo record_{};
    State state_ = State::WaitFirst;
    int32_t status_ = XFER_STATUS_OK;
    uint64_t deadline_ = 0;
    uint64_t lastReportMs_ = 0;
};

} // namespace transvex
