// A Hayes (AT command) modem as a protocol engine: bytes from the computer in, bytes to
// the computer out through a callback, the time passed in by the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// What ATD leads to.
enum class DialOutcome { Connect, Busy, NoCarrier, NoDialtone, NoAnswer, Error, Nothing };
const char* dialOutcomeName(DialOutcome outcome);
// "connect", "busy", "no-carrier", "no-dialtone", "no-answer", "error", "none"; false
// for another word.
bool parseDialOutcome(std::string_view word, DialOutcome& out);

class HayesModem {
public:
    enum class State {
        Command,       // taking AT commands
        Dialing,       // ATD given, the call is being made
        Answering,     // ATA given, waiting for the caller's carrier
        Online,        // connected: bytes are data
        OnlineCommand, // connected, back in command mode after "+++"
    };
    static const char* stateName(State state);

    struct Options {
        int connectDelayMs = 300;                 // from ATD or ATA to the result
        std::string connectText = "CONNECT 9600"; // or "CONNECT"
        DialOutcome dialOutcome = DialOutcome::Connect;
        bool remoteEcho = true; // the far end sends back what it gets
        int ringEveryMs = 2000;
    };

    using Output = std::function<void(std::string_view bytes)>;
    HayesModem(Options options, Output toComputer);

    // Bytes from the computer at nowMs.
    void input(std::string_view bytes, int64_t nowMs);
    // Lets time pass (result after a delay, rings, the escape's trailing guard time).
    void tick(int64_t nowMs);
    // The milliseconds until tick has something to do, or -1.
    int64_t nextDueMs(int64_t nowMs) const;

    // Someone calls: RING lines until answered (ATA, or S0 rings) or count rings passed.
    void ring(int64_t nowMs, int count = 10);
    // The far end hangs up.
    void remoteHangUp();
    // Bytes from the far end (shown only while online).
    void remoteSend(std::string_view bytes);
    // DTR dropped (where the line shows it): with &D2 the modem hangs up.
    void dtrDropped();

    Options& options() { return options_; }
    State state() const { return state_; }
    int sRegister(int n) const;
    bool echo() const { return echo_; }
    bool verbose() const { return verbose_; }
    int dials() const { return dials_; }
    const std::string& lastNumber() const { return lastNumber_; }
    const std::vector<std::string>& commands() const { return commands_; }
    // Data the far end received while online.
    const std::string& remoteReceived() const { return remoteReceived_; }

private:
    enum class Result { Ok, Connect, Ring, NoCarrier, Error, NoDialtone, Busy, NoAnswer };
    void result(Result r);
    void commandLine(const std::string& line, int64_t nowMs);
    // Runs the commands after "AT"; false on a command it does not know.
    bool execute(std::string_view cmds, int64_t nowMs);
    void reset();
    void hangUp();

    Options options_;
    Output out_;
    State state_ = State::Command;
    std::string line_;
    bool echo_ = true;
    bool verbose_ = true;
    bool quiet_ = false;
    int dcdMode_ = 1; // &C
    int dtrMode_ = 2; // &D
    std::map<int, int> s_;
    int64_t dueAt_ = -1; // when Dialing/Answering ends
    int64_t nextRingAt_ = -1;
    int ringsLeft_ = 0;
    int ringCount_ = 0;
    // Escape: guard time, "+++", guard time.
    int64_t lastDataAt_ = 0;
    int plusCount_ = 0;
    int64_t plusStartedAt_ = -1;
    int dials_ = 0;
    std::string lastNumber_;
    std::vector<std::string> commands_;
    std::string remoteReceived_;
};

} // namespace modemsim
