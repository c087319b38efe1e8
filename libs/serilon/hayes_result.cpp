#include "libs/serilon/hayes_result.h"

#include <cctype>

namespace serilon {

namespace {

std::string upperTrimmed(std::string_view line) {
    std::size_t b = 0;
    std::size_t e = line.size();
    while (b < e && (line[b] == ' ' || line[b] == '\t')) {
        ++b;
    }
    while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t')) {
        --e;
    }
    std::string out(line.substr(b, e - b));
    for (char& c : out) {
        c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

bool allDigits(const std::string& s) {
    if (s.empty() || s.size() > 3) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

} // namespace

const char* hayesResultName(HayesResult result) {
    switch (result) {
    case HayesResult::None:
        return "none";
    case HayesResult::Ok:
        return "OK";
    case HayesResult::Connect:
        return "CONNECT";
    case HayesResult::Ring:
        return "RING";
    case HayesResult::NoCarrier:
        return "NO CARRIER";
    case HayesResult::Error:
        return "ERROR";
    case HayesResult::NoDialtone:
        return "NO DIALTONE";
    case HayesResult::Busy:
        return "BUSY";
    case HayesResult::NoAnswer:
        return "NO ANSWER";
    }
    return "?";
}

HayesResult classifyHayesLine(std::string_view line) {
    const std::string s = upperTrimmed(line);
    if (allDigits(s)) {
        const int code = std::stoi(s);
        switch (code) {
        case 0:
            return HayesResult::Ok;
        case 1:
        case 5:
            return HayesResult::Connect;
        case 2:
            return HayesResult::Ring;
        case 3:
            return HayesResult::NoCarrier;
        case 4:
            return HayesResult::Error;
        case 6:
            return HayesResult::NoDialtone;
        case 7:
            return HayesResult::Busy;
        case 8:
            return HayesResult::NoAnswer;
        default:
            return code >= 10 ? HayesResult::Connect : HayesResult::None;
        }
    }
    if (s == "OK")
        return HayesResult::Ok;
    if (s == "RING")
        return HayesResult::Ring;
    if (s == "NO CARRIER")
        return HayesResult::NoCarrier;
    if (s == "ERROR")
        return HayesResult::Error;
    if (s == "NO DIALTONE" || s == "NO DIAL TONE")
        return HayesResult::NoDialtone;
    if (s == "BUSY")
        return HayesResult::Busy;
    if (s == "NO ANSWER")
        return HayesResult::NoAnswer;
    if (s.rfind("CONNECT", 0) == 0 &&
        (s.size() == 7 || s[7] == ' ' || s[7] == '/' || s[7] == '\t')) {
        return HayesResult::Connect;
    }
    return HayesResult::None;
}

bool isFailureResult(HayesResult result) {
    return result == HayesResult::NoCarrier || result == HayesResult::Error ||
           result == HayesResult::NoDialtone || result == HayesResult::Busy ||
           result == HayesResult::NoAnswer;
}

const char* HayesLineReader::stateName(State state) {
    switch (state) {
    case State::LineStart:
        return "line start";
    case State::InLine:
        return "in line";
    case State::Overlong:
        return "overlong";
    }
    return "?";
}

void HayesLineReader::reset() {
    state_ = State::LineStart;
    line_.clear();
}

void HayesLineReader::feed(const std::uint8_t* data, std::size_t len, const LineFn& onLine) {
    for (std::size_t i = 0; i < len; ++i) {
        const std::uint8_t c = data[i];
        const bool end = c == '\r' || c == '\n';
        switch (state_) {
        case State::LineStart:
            if (end || c < 0x20 || c == 0x7F) {
                break;
            }
            line_.assign(1, char(c));
            state_ = State::InLine;
            break;
        case State::InLine:
            if (end) {
                onLine(line_);
                line_.clear();
                state_ = State::LineStart;
            } else if (c >= 0x20 && c != 0x7F) {
                line_.push_back(char(c));
                if (line_.size() == kMaxLine) {
                    onLine(line_);
                    line_.clear();
                    state_ = State::Overlong;
                }
            }
            break;
        case State::Overlong:
            if (end) {
                state_ = State::LineStart;
            }
            break;
        }
    }
}

} // namespace serilon
