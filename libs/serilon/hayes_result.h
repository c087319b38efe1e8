// The result lines of a Hayes (AT command) modem: cutting the received bytes into
// lines and telling what each line says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace serilon {

enum class HayesResult {
    None, // not a result code: echo, information text, noise
    Ok,
    Connect,
    Ring,
    NoCarrier,
    Error,
    NoDialtone,
    Busy,
    NoAnswer,
};

const char* hayesResultName(HayesResult result);

// What one line (without its line end) says. Verbose words (V1) and the numeric codes
// (V0) 0..8 and the numeric CONNECT codes from 10 up are known; case and surrounding
// blanks do not matter. "CONNECT" counts with or without a rate after it.
HayesResult classifyHayesLine(std::string_view line);

// True for the results that end a dial or answer without a connection.
bool isFailureResult(HayesResult result);

// Cuts received bytes into lines: CR or LF ends a line, empty lines are skipped, a line
// longer than kMaxLine characters is handed on cut to kMaxLine and the rest of it is
// dropped. NUL and other control bytes inside a line are dropped.
class HayesLineReader {
public:
    static constexpr std::size_t kMaxLine = 80;
    enum class State { LineStart, InLine, Overlong };
    static const char* stateName(State state);

    using LineFn = std::function<void(std::string_view line)>;
    void feed(const std::uint8_t* data, std::size_t len, const LineFn& onLine);
    void reset();
    State state() const { return state_; }

private:
    State state_ = State::LineStart;
    std::string line_;
};

} // namespace serilon
