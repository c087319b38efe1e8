// Plain text transfers. Sending puts the file on the line unchanged. Receiving stores
// every byte until a Ctrl-Z (0x1A, not stored; unless keepSub), the sender's silence
// for silenceMs after its first byte, or a hang-up; nothing at all within startMs is a
// time-out.
#pragma once

#include "libs/transvex/engine_base.h"
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

enum class AsciiSenderState { Sending, Done };

// Plain text has no cancel sequence: an abort just stops sending.
class AsciiSender final : public EngineBase<AsciiSenderState> {
public:
    using State = AsciiSenderState;
    static const char* stateName(State s) { return s == State::Sending ? "Sending" : "Done"; }

    AsciiSender(AsciiSenderConfig config, EngineIo io);
    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t>, uint64_t) override {}
    void tick(uint64_t nowMs) override;
    bool ready() const override { return state_ == State::Sending; }
    const char* stateName() const override { return stateName(state_); }

private:
    void onFinish() override { file_.close(); }

    AsciiSenderConfig cfg_;
    FileSource file_;
    std::vector<uint8_t> chunk_;
    uint64_t pos_ = 0;
};

struct AsciiReceiverConfig {
    std::string path;
    bool keepSub = false;
    uint32_t startMs = 60000;
    uint32_t silenceMs = 10000;
    uint32_t progressIntervalMs = 50;
};

enum class AsciiReceiverState { WaitFirst, Receiving, Done };

class AsciiReceiver final : public EngineBase<AsciiReceiverState> {
public:
    using State = AsciiReceiverState;
    static const char* stateName(State s);

    AsciiReceiver(AsciiReceiverConfig config, EngineIo io);
    void start(uint64_t nowMs) override;
    void feed(std::span<const uint8_t> bytes, uint64_t nowMs) override;
    void tick(uint64_t nowMs) override;
    // The sender hanging up after its text is an end like any other.
    void lineLost() override;
    const char* stateName() const override { return stateName(state_); }

private:
    void end();
    void onFail() override { sink_.abandon(); }

    AsciiReceiverConfig cfg_;
    FileSink sink_;
};

} // namespace transvex
