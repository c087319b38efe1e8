#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <termios.h>

#include "tools/scanner-sim/line_settings.h"

namespace scanner_sim {

// A pseudo-terminal pair: the master end for us, the slave for the PC side. The slave is
// put in raw mode, and we keep a descriptor of it open so the master never reads as hung
// up while no program has the slave open.
struct PtyPair {
    int master = -1; // non-blocking, close-on-exec
    int slave = -1;  // close-on-exec
    std::string slavePath;

    PtyPair() = default;
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    PtyPair(PtyPair&& other) noexcept;
    PtyPair& operator=(PtyPair&& other) noexcept;
    ~PtyPair();
};

// Opens a new pair with the slave raw at baud. Returns false with a reason.
bool openPtyPair(PtyPair& pair, uint32_t baud, std::string& error);

// termios speed constant for a rate, B0 when there is none; and back (0 when unknown).
speed_t speedForBaud(uint32_t baud);
uint32_t baudForSpeed(speed_t speed);

// The scanner's end of the line: the master of a pseudo-terminal, or a real serial
// device for bench use.
class LinePort {
public:
    static std::unique_ptr<LinePort> openPty(const LineSettings& line, std::string& error);
    static std::unique_ptr<LinePort> openDevice(const std::string& path, const LineSettings& line,
                                                std::string& error);
    ~LinePort();

    // Non-blocking descriptor to read from and write to.
    int fd() const;
    // What the PC side opens: the slave's path, or the device path.
    const std::string& path() const { return path_; }
    bool isPty() const { return device_ < 0; }

    // The rate the PC side's port is set to, read from the slave's settings; 0 on a real
    // device, where the UART itself enforces the rate, or when it cannot be read.
    uint32_t peerBaud() const;

    // Puts the scanner's own settings on a real device (rate, parity, bits, stop bits).
    // A pseudo-terminal has no scanner-side settings: nothing is done.
    bool applyLine(const LineSettings& line, std::string& error);

private:
    LinePort() = default;
    PtyPair pty_;
    int device_ = -1;
    std::string path_;
};

} // namespace scanner_sim
