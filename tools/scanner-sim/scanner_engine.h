#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "tools/scanner-sim/fault_plan.h"
#include "tools/scanner-sim/frame_parser.h"
#include "tools/scanner-sim/identity.h"
#include "tools/scanner-sim/line_settings.h"
#include "tools/scanner-sim/setup_model.h"
#include "tools/scanner-sim/token_parser.h"

namespace scanner_sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// Ready: frames are answered. Loading: a load token was accepted and the line belongs to
// the image transfer until finishLoad().
enum class EngineState { Ready, Loading };
std::string_view engineStateName(EngineState state);

// What a load token loads.
enum class LoadTarget { Boot, App1, App2 };
// "BTCODE", "A1CODE", "A2CODE"
std::string_view loadTargetKey(LoadTarget target);

// What the scanner does with bytes that reach it at another rate than its own.
// Silent: nothing (a real UART sees framing errors and the firmware finds no frame).
// Garbage: it also sends bytes 0x80..0xFF back, never a protocol byte, as a line with
// noise on it would show.
enum class MismatchMode { Silent, Garbage };

struct EngineHooks {
    // Required. Bytes for the line, and the settings in force when they go out (for
    // pacing in slow mode). Called from receive() and tick() only.
    std::function<void(std::string_view bytes, const LineSettings& line)> send;
    // Every complete frame as received, SOH and EOT included.
    std::function<void(std::string_view frame)> frameReceived;
    // A readable note: why a frame was refused, dropped input, line changes.
    std::function<void(std::string_view text)> note;
    // Asked before a load token is acknowledged: empty when an image can be received,
    // else the reason to refuse it (the token is then NAKed).
    std::function<std::string(LoadTarget)> loadCheck;
    // Called once the load token's ACK has been sent: the image transfer starts now.
    std::function<void(LoadTarget)> loadStart;
    // The line settings changed (after the ACK of the command that changed them went out).
    std::function<void(const LineSettings&)> lineChanged;
};

// The scanner's side of the command line protocol. Bytes come in through receive() with
// the rate the PC sends at and the current time; bytes go out through hooks.send, at once
// or, when a fault delays them, from a later tick(). Single-threaded: the caller
// serialises every call.
class ScannerEngine {
public:
    explicit ScannerEngine(EngineHooks hooks, size_t maxFramePayload = 1024);

    // pcBaud: the rate the PC's port is set to; 0 when it cannot be known (then every
    // byte counts as received at the right rate).
    void receive(std::string_view bytes, uint32_t pcBaud, TimePoint now);
    // Sends what has become due by now.
    void tick(TimePoint now);
    // When tick() has something to do next; nothing while no output waits.
    std::optional<TimePoint> nextDeadline() const;

    // Ends the Loading state. version: the version field of the received image header,
    // which becomes the loaded target's revision; nothing when the load failed or the
    // image carried no usable version (the revision then stays as it was).
    void finishLoad(std::optional<std::string> version);

    EngineState state() const { return state_; }
    std::optional<LoadTarget> loadTarget() const { return loadTarget_; }
    // The line settings in force now (a change waits for its ACK to go out).
    const LineSettings& line() const { return line_; }

    const SetupModel& setup() const { return setup_; }
    const Identity& identity() const { return identity_; }
    Identity& identity() { return identity_; }
    FaultPlan& faults() { return faults_; }
    const FaultPlan& faults() const { return faults_; }
    void setMismatchMode(MismatchMode mode) { mismatch_ = mode; }
    MismatchMode mismatchMode() const { return mismatch_; }

    // Changes a setup value at once, as the scanner's own keypad or a test would: no ACK,
    // and a change of the line settings takes effect immediately.
    bool setSetupValue(std::string_view key, std::string_view value, std::string& error);
    // Sets all four line settings at once (start-up, tests).
    void setLine(const LineSettings& line);

    uint64_t framesHandled() const { return framesHandled_; }

private:
    struct Outcome {
        bool ack = false;
        std::string answer; // answer line, CR LF included; empty for none
        std::optional<LineSettings> switchTo;
        std::optional<LoadTarget> load;
        std::string reason; // why a NAK
    };
    struct Pending {
        TimePoint due;
        std::string bytes;
        std::optional<LineSettings> switchTo;
        std::optional<LoadTarget> startLoad;
    };

    void handleFrame(std::string_view payload, TimePoint now);
    void reply(const Outcome& outcome, TimePoint now);
    Outcome execute(const TokenList& list);
    Outcome executeQuery(const Token& token);
    void enqueue(Pending pending);
    void emitNote(std::string_view text);
    void sendGarbage(size_t count);

    EngineHooks hooks_;
    FrameParser parser_;
    SetupModel setup_;
    Identity identity_;
    FaultPlan faults_;
    LineSettings line_;
    MismatchMode mismatch_ = MismatchMode::Silent;
    EngineState state_ = EngineState::Ready;
    std::optional<LoadTarget> loadTarget_;
    std::deque<Pending> queue_;
    uint64_t framesHandled_ = 0;
    uint32_t garbageSeed_ = 0x2545F491u;
};

// Corrupts an answer line the way line noise would: every third byte, starting with the
// second, becomes '#' (or '*' where it was '#'); a closing CR LF stays, so the program
// still sees one complete line.
std::string garbleAnswer(std::string_view answer);

} // namespace scanner_sim
