// The CAPI 2.0 connection of one ISDN comm id: its application on the controller, the
// LISTEN for incoming calls, one call at a time (placed or accepted) with a transparent
// B channel, and the B3 data in both directions.
#pragma once

#include "libs/serilon/connection_config.h"
#include "libs/serilon/isdn_capi.h"
#include "libs/serilon/os_error.h"
#include "serilon/serilon.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace serilon {

// Thread rules: service() and inputHeld() run on the channel's thread 0 only, send() on
// its thread 1; dial(), waitConnect(), hangUp(), carrier(), callInfo() and lastError()
// on any thread. A call's messages go out under mutex_, so the controller sees them in
// the order the state changes.
class IsdnConnection {
public:
    enum class State {
        Idle,          // no call; incoming calls for the own extension ring
        Dialling,      // CONNECT_REQ sent, waiting for the call to be answered
        Incoming,      // an incoming call accepted, waiting for it to become active
        CallActive,    // the call is up, the B channel connection is being made
        Online,        // CONNECT_B3_ACTIVE_IND came: data flows, carrier on
        Disconnecting, // a hang-up is under way
    };
    static const char* stateName(State state);

    // Blocks of B3 data sent and not yet confirmed, at most (the controller's window).
    static constexpr int kWindow = 7;

    struct Hooks {
        // Thread 0: takes up to len received bytes into the input queue; returns how
        // many it took (fewer when the queue is full).
        std::function<std::size_t(const std::uint8_t*, std::size_t)> input;
        // Thread 0: offers an incoming call to the event procedure; nonzero refuses it.
        std::function<std::int32_t()> ring;
        // Any thread: send() may take data again.
        std::function<void()> wakeWriter;
        // Thread 0: the call ended; output still queued is dropped.
        std::function<void()> callEnded;
    };

    IsdnConnection(const CapiLibrary& capi, const ConnectionConfig& config, Hooks hooks);
    ~IsdnConnection();
    IsdnConnection(const IsdnConnection&) = delete;
    IsdnConnection& operator=(const IsdnConnection&) = delete;

    // Registers the application and listens on the controller for the CIP mask; waits
    // at most 3 s for the controller's confirmation.
    OsStatus open();
    // Releases the application (which ends any call) and ends every wait. Idempotent.
    void shutdown();
    // The descriptor that is readable while the controller has messages for us.
    int fd() const { return fd_; }

    // Thread 0: handles the messages waiting and delivers held input; returns the
    // SERIAL_EV_* bits that came of it (CD when the carrier changed, RXCHAR for data).
    std::int32_t service();
    // Thread 0: received data waits for room in the input queue.
    bool inputHeld() const { return !held_.empty(); }
    // Thread 1: sends up to kMaxBlock bytes of data as one block; returns how many were
    // taken, 0 while there is no B channel connection or the window is full.
    std::size_t send(const std::uint8_t* data, std::size_t len);

    // Places a call to number (digits, * and #; a text starting with "ATD" has it cut
    // off; another "AT" text is an answer command: nothing is dialled). Returns at once.
    OsStatus dial(const std::string& number);
    // Waits up to timeoutMs for the B channel connection. report(action, msLeft) is
    // called with MODEM_ACTION_*; its false ends the wait, as do abort and closing().
    // Returns true when connected; text gets the result ("CONNECT 64000", "NO CARRIER:
    // ..." and the modem calls' texts).
    bool waitConnect(int timeoutMs, const std::atomic<bool>& abort,
                     const std::function<bool(std::int32_t, std::int32_t)>& report,
                     const std::function<bool()>& closing, std::string& text);
    // Ends the call in progress; with wait, waits up to 3 s for the controller to
    // confirm the end (never from thread 0, which would handle that confirmation).
    OsStatus hangUp(bool wait);

    bool carrier() const { return online_.load(); }
    State state() const;
    // The numbers of the current or last incoming call; false when there was none.
    bool callInfo(SerialIsdnCallInfo& info) const;
    // The last fault in the controller's messages or our requests; empty when none.
    std::string lastError() const;

private:
    struct Block {
        std::vector<std::uint8_t> bytes;
        std::size_t offset = 0;
        std::uint32_t ncci = 0;
        std::uint16_t handle = 0;
        bool answered = false;
    };
    // Actions found under mutex_ and done after it is released.
    struct After {
        std::int32_t bits = 0;
        bool ring = false;
        std::uint32_t ringPlci = 0;
        std::uint16_t ringNumber = 0;
        bool ended = false;
        bool wake = false;
    };

    std::uint16_t nextNumber() { return std::uint16_t(number_.fetch_add(1) & 0x7FFF); }
    // Puts one message to the controller; false (and lastError_) when it refused it.
    bool put(std::vector<std::uint8_t> message);
    void handle(const std::uint8_t* message, std::size_t size, After& after);
    // Records a malformed message; one that was to confirm our call fails the call.
    void malformed(const std::string& what, After& after, bool dialConfirmation = false);
    void callGone(std::uint16_t reason, After& after);
    void setError(const std::string& text);
    std::int32_t deliverHeld();
    // Whether a call for called belongs to this comm id.
    bool forUs(const std::string& called) const;

    const CapiLibrary& capi_;
    const ConnectionConfig config_;
    Hooks hooks_;
    unsigned appId_ = 0;
    bool registered_ = false;
    int fd_ = -1;
    std::atomic<std::uint32_t> number_{1};
    std::mutex putMutex_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Idle;
    bool outgoing_ = false;
    bool hangingUp_ = false;
    std::uint16_t connectNumber_ = 0; // message number of our CONNECT_REQ
    std::uint32_t plci_ = 0;
    std::uint32_t ncci_ = 0;
    std::atomic<bool> online_{false};
    std::atomic<bool> shutDown_{false};
    std::uint64_t callsEnded_ = 0;
    std::uint64_t rings_ = 0;
    std::string endText_;
    // A dial's start, for the wait that follows it.
    std::uint64_t dialEndedBase_ = 0;
    bool dialPending_ = false;
    mutable std::mutex errorMutex_; // guards error_; taken after mutex_, never before
    std::string error_;
    SerialIsdnCallInfo call_{};
    bool haveCall_ = false;
    // Send slots: bytes stay ours until DATA_B3_CONF.
    std::array<std::vector<std::uint8_t>, kWindow> slots_;
    std::array<bool, kWindow> slotBusy_{};
    int outstanding_ = 0;

    // Thread 0 only: received blocks waiting for room in the input queue.
    std::deque<Block> held_;
};

} // namespace serilon
