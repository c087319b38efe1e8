#include "tools/modem-sim/hayes_modem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace modemsim {

namespace {

constexpr int kCarrierWaitRegister = 7; // S7: seconds to wait for carrier
constexpr int kGuardRegister = 12;      // S12: escape guard time in 1/50 s
constexpr int kAutoAnswerRegister = 0;  // S0: rings before answering, 0 never
constexpr size_t kMaxLine = 255;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

const char* dialOutcomeName(DialOutcome outcome) {
    switch (outcome) {
    case DialOutcome::Connect:
        return "connect";
    case DialOutcome::Busy:
        return "busy";
    case DialOutcome::NoCarrier:
        return "no-carrier";
    case DialOutcome::NoDialtone:
        return "no-dialtone";
    case DialOutcome::NoAnswer:
        return "no-answer";
    case DialOutcome::Error:
        return "error";
    case DialOutcome::Nothing:
        return "none";
    }
    return "?";
}

bool parseDialOutcome(std::string_view word, DialOutcome& out) {
    for (DialOutcome o :
         {DialOutcome::Connect, DialOutcome::Busy, DialOutcome::NoCarrier, DialOutcome::NoDialtone,
          DialOutcome::NoAnswer, DialOutcome::Error, DialOutcome::Nothing}) {
        if (word == dialOutcomeName(o)) {
            out = o;
            return true;
        }
    }
    return false;
}

const char* HayesModem::stateName(State state) {
    switch (state) {
    case State::Command:
        return "command";
    case State::Dialing:
        return "dialing";
    case State::Answering:
        return "answering";
    case State::Online:
        return "online";
    case State::OnlineCommand:
        return "online-command";
    }
    return "?";
}

HayesModem::HayesModem(Options options, Output toComputer)
    : options_(std::move(options)), out_(std::move(toComputer)) {
    reset();
}

void HayesModem::reset() {
    echo_ = true;
    verbose_ = true;
    quiet_ = false;
    dcdMode_ = 1;
    dtrMode_ = 2;
    s_.clear();
    s_[kAutoAnswerRegister] = 0;
    s_[2] = 43; // escape character '+'
    s_[3] = 13;
    s_[4] = 10;
    s_[kCarrierWaitRegister] = 50;
    s_[kGuardRegister] = 50;
}

int HayesModem::sRegister(int n) const {
    auto it = s_.find(n);
    return it == s_.end() ? 0 : it->second;
}

void HayesModem::result(Result r) {
    if (quiet_)
        return;
    static const char* const kWords[] = {"OK",    "CONNECT",     "RING", "NO CARRIER",
                                         "ERROR", "NO DIALTONE", "BUSY", "NO ANSWER"};
    static const int kCodes[] = {0, 1, 2, 3, 4, 6, 7, 8};
    const auto i = static_cast<size_t>(r);
    if (verbose_) {
        const std::string word = r == Result::Connect ? options_.connectText : kWords[i];
        out_("\r\n" + word + "\r\n");
    } else {
        out_(std::to_string(kCodes[i]) + "\r");
    }
}

void HayesModem::hangUp() {
    state_ = State::Command;
    dueAt_ = -1;
    plusCount_ = 0;
}

void HayesModem::input(std::string_view bytes, int64_t nowMs) {
    for (char c : bytes) {
        switch (state_) {
        case State::Dialing:
        case State::Answering:
            // Any key ends a call being made or answered.
            hangUp();
            result(Result::NoCarrier);
            break;
        case State::Online: {
            const int64_t guard = sRegister(kGuardRegister) * 20;
            if (c == static_cast<char>(sRegister(2)) &&
                (plusCount_ > 0 ? nowMs - plusStartedAt_ <= guard : nowMs - lastDataAt_ >= guard)) {
                if (plusCount_++ == 0)
                    plusStartedAt_ = nowMs;
            } else {
                plusCount_ = 0;
            }
            lastDataAt_ = nowMs;
            remoteReceived_.push_back(c);
            if (options_.remoteEcho)
                out_(std::string_view(&c, 1));
            break;
        }
        case State::Command:
        case State::OnlineCommand:
            if (echo_)
                out_(std::string_view(&c, 1));
            if (c == static_cast<char>(sRegister(3)) || c == '\n') {
                if (c == '\n' && line_.empty())
                    break;
                const std::string line = line_;
                line_.clear();
                commandLine(line, nowMs);
            } else if (c == 8 || c == 127) {
                if (!line_.empty())
                    line_.pop_back();
            } else if (line_.size() < kMaxLine) {
                line_.push_back(c);
            }
            break;
        }
    }
}

void HayesModem::commandLine(const std::string& line, int64_t nowMs) {
    const std::string up = upper(line);
    // Anything before "AT" (such as the "+++" of an escape) is not part of the command.
    const size_t at = up.find("AT");
    if (at == std::string::npos)
        return;
    commands_.push_back(line.substr(at));
    const std::string cmds = line.substr(at + 2);
    if (!execute(cmds, nowMs))
        result(Result::Error);
}

bool HayesModem::execute(std::string_view cmds, int64_t nowMs) {
    size_t i = 0;
    auto number = [&](int def) {
        if (i >= cmds.size() || !std::isdigit(static_cast<unsigned char>(cmds[i])))
            return def;
        int n = 0;
        while (i < cmds.size() && std::isdigit(static_cast<unsigned char>(cmds[i])) && n < 100000)
            n = n * 10 + (cmds[i++] - '0');
        return n;
    };
    bool sayOk = true;
    while (i < cmds.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(cmds[i++])));
        switch (c) {
        case ' ':
            break;
        case 'E':
            echo_ = number(0) != 0;
            break;
        case 'V':
            verbose_ = number(0) != 0;
            break;
        case 'Q':
            quiet_ = number(0) != 0;
            break;
        case 'L':
        case 'M':
        case 'X':
        case 'B':
        case 'W':
            number(0);
            break;
        case 'Z':
            reset();
            number(0);
            break;
        case 'I':
            number(0);
            out_("\r\nVort modem simulator\r\n");
            break;
        case 'H':
            number(0);
            hangUp();
            break;
        case 'O':
            number(0);
            if (state_ != State::OnlineCommand)
                return false;
            state_ = State::Online;
            lastDataAt_ = nowMs;
            result(Result::Connect);
            return true;
        case 'S': {
            const int reg = number(-1);
            if (reg < 0 || reg > 99 || i >= cmds.size())
                return false;
            if (cmds[i] == '?') {
                ++i;
                char text[16];
                std::snprintf(text, sizeof text, "\r\n%03d\r\n", sRegister(reg));
                out_(text);
            } else if (cmds[i] == '=') {
                ++i;
                const bool negative = i < cmds.size() && cmds[i] == '-';
                if (negative)
                    return false;
                const int v = number(-1);
                if (v < 0 || v > 255)
                    return false;
                s_[reg] = v;
            } else {
                return false;
            }
            break;
        }
        case '&': {
            if (i >= cmds.size())
                return false;
            const char what =
                static_cast<char>(std::toupper(static_cast<unsigned char>(cmds[i++])));
            const int v = number(0);
            if (what == 'C')
                dcdMode_ = v;
            else if (what == 'D')
                dtrMode_ = v;
            else if (what == 'F')
                reset();
            else if (what != 'S' && what != 'W' && what != 'K')
                return false;
            break;
        }
        case 'A':
            if (state_ == State::OnlineCommand)
                return false;
            state_ = State::Answering;
            // With a caller on the line it connects; without one it waits for carrier
            // for S7 seconds.
            dueAt_ = nowMs + (ringsLeft_ > 0 ? options_.connectDelayMs
                                             : sRegister(kCarrierWaitRegister) * 1000);
            return true;
        case 'D': {
            if (state_ == State::OnlineCommand)
                return false;
            std::string rest(cmds.substr(i));
            if (!rest.empty() && (std::toupper(static_cast<unsigned char>(rest[0])) == 'T' ||
                                  std::toupper(static_cast<unsigned char>(rest[0])) == 'P'))
                rest.erase(0, 1);
            lastNumber_ = rest;
            ++dials_;
            state_ = State::Dialing;
            dueAt_ =
                options_.dialOutcome == DialOutcome::Nothing ? -1 : nowMs + options_.connectDelayMs;
            return true;
        }
        default:
            return false;
        }
    }
    if (sayOk)
        result(Result::Ok);
    return true;
}

void HayesModem::tick(int64_t nowMs) {
    if ((state_ == State::Dialing || state_ == State::Answering) && dueAt_ >= 0 &&
        nowMs >= dueAt_) {
        const bool answering = state_ == State::Answering;
        dueAt_ = -1;
        if (answering) {
            if (ringsLeft_ > 0) {
                ringsLeft_ = 0;
                state_ = State::Online;
                lastDataAt_ = nowMs;
                result(Result::Connect);
            } else {
                hangUp();
                result(Result::NoCarrier);
            }
        } else {
            switch (options_.dialOutcome) {
            case DialOutcome::Connect:
                state_ = State::Online;
                lastDataAt_ = nowMs;
                result(Result::Connect);
                break;
            case DialOutcome::Busy:
                hangUp();
                result(Result::Busy);
                break;
            case DialOutcome::NoCarrier:
                hangUp();
                result(Result::NoCarrier);
                break;
            case DialOutcome::NoDialtone:
                hangUp();
                result(Result::NoDialtone);
                break;
            case DialOutcome::NoAnswer:
                hangUp();
                result(Result::NoAnswer);
                break;
            case DialOutcome::Error:
                hangUp();
                result(Result::Error);
                break;
            case DialOutcome::Nothing:
                break;
            }
        }
    }
    if (state_ == State::Online && plusCount_ >= 3) {
        const int64_t guard = sRegister(kGuardRegister) * 20;
        if (nowMs - lastDataAt_ >= guard) {
            plusCount_ = 0;
            state_ = State::OnlineCommand;
            result(Result::Ok);
        }
    }
    if (ringsLeft_ > 0 && state_ == State::Command && nextRingAt_ >= 0 && nowMs >= nextRingAt_) {
        result(Result::Ring);
        ++ringCount_;
        --ringsLeft_;
        nextRingAt_ = ringsLeft_ > 0 ? nowMs + options_.ringEveryMs : -1;
        const int autoAnswer = sRegister(kAutoAnswerRegister);
        if (autoAnswer > 0 && ringCount_ >= autoAnswer) {
            ringsLeft_ = std::max(ringsLeft_, 1);
            state_ = State::Answering;
            dueAt_ = nowMs + options_.connectDelayMs;
        }
    }
}

int64_t HayesModem::nextDueMs(int64_t nowMs) const {
    int64_t due = -1;
    auto consider = [&](int64_t at) {
        if (at < 0)
            return;
        const int64_t in = std::max<int64_t>(at - nowMs, 0);
        if (due < 0 || in < due)
            due = in;
    };
    if (state_ == State::Dialing || state_ == State::Answering)
        consider(dueAt_);
    if (state_ == State::Online && plusCount_ >= 3)
        consider(lastDataAt_ + sRegister(kGuardRegister) * 20);
    if (ringsLeft_ > 0 && state_ == State::Command)
        consider(nextRingAt_);
    return due;
}

void HayesModem::ring(int64_t nowMs, int count) {
    ringsLeft_ = std::max(count, 1);
    ringCount_ = 0;
    nextRingAt_ = nowMs;
}

void HayesModem::remoteHangUp() {
    if (state_ == State::Online || state_ == State::OnlineCommand) {
        hangUp();
        result(Result::NoCarrier);
    }
    ringsLeft_ = 0;
}

void HayesModem::remoteSend(std::string_view bytes) {
    if (state_ == State::Online)
        out_(bytes);
}

void HayesModem::dtrDropped() {
    if (dtrMode_ == 2 &&
        (state_ == State::Online || state_ == State::OnlineCommand || state_ == State::Dialing)) {
        hangUp();
        result(Result::NoCarrier);
    }
}

} // namespace modemsim
