// The serial device as the operating system offers it: a terminal file descriptor with
// its termios settings, modem lines, counters and locks. The only unit of the library
// that talks termios and ioctl.
#pragma once

#include "libs/serilon/line_settings.h"
#include "libs/serilon/os_error.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace serilon {

// Kernel counters of line events since the device was opened (real UARTs only).
struct LineCounters {
    std::uint32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// Modem-line bits as the library reports them (SERIAL_MS_*) and output lines
// (SERIAL_LINE_*) are translated here from the kernel's TIOCM_* bits.
//
// The device may also be a connected stream socket (a TCP connection): then it has no
// line settings, modem lines, breaks or counters; those calls succeed and do nothing,
// and writes never raise SIGPIPE.
class PosixDevice {
public:
    PosixDevice() = default;
    ~PosixDevice() { close(); }
    PosixDevice(const PosixDevice&) = delete;
    PosixDevice& operator=(const PosixDevice&) = delete;

    // Opens path non-blocking, checks that it is a terminal, takes the advisory lock
    // (flock, so a second open of the same device fails even in this process) and
    // TIOCEXCL, puts it in raw mode and raises DTR and RTS. Inside a umockdev device
    // testbed (its preload library loaded and UMOCKDEV_DIR set: tests only) a fake node
    // that isatty() denies but that answers tcgetattr counts as a terminal, and a refused
    // TIOCEXCL is let pass, as the emulation refuses ioctls it has no script for.
    OsStatus open(const std::string& path);
    // Takes a connected socket as the device (ownership passes; closed by close()).
    void adoptSocket(int fd, const std::string& name);
    bool isSocket() const { return socket_; }
    // Ends a socket connection in both directions without giving up the descriptor, so
    // that threads still polling it see the end. Nothing for a terminal.
    void shutdownSocket();
    // Gives up the exclusive mode and the lock and closes. Harmless when closed.
    void close();

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    bool isOpen() const { return fd_ >= 0; }

    // The device's current settings (speed, size, parity, stop bits, flow flags).
    LineSettings currentLine() const;
    // Applies s; when the device refuses a part (EINVAL) it retries with less (8 bits,
    // no parity; then without hardware flow) so a pseudo-terminal keeps speed and stop
    // bits. Speeds without a B-constant are set through the kernel's termios2.
    OsStatus applyLine(const LineSettings& s);

    // True when the device has modem status lines (TIOCMGET works).
    bool probeModemLines() const;
    // SERIAL_MS_* bits; false when the lines cannot be read.
    bool modemStatus(int& msBits) const;
    // Raises (on) or drops a SERIAL_LINE_* line. A device without modem lines takes it
    // silently (returns success): the library keeps the line's state itself.
    OsStatus setOutputLine(int line, bool on);
    // Starts or ends a break; a device that cannot send breaks takes it silently.
    OsStatus setBreak(bool on);
    // Blocks until CTS, DSR, CD or RI changes, or a signal interrupts (EINTR).
    // Returns 0 or an errno.
    int waitModemChange() const;
    bool counters(LineCounters& out) const;
    // Highest usable speed: the UART's base clock when it reports a sensible one,
    // else a generous 4,000,000.
    std::uint32_t maxBaud() const;
    // Discards what the kernel holds for input (dir 0) or output (dir 1).
    void flushKernel(int dir);
    // Bytes the kernel holds for output and has not sent yet (TIOCOUTQ); 0 for a socket,
    // whose kernel goes on sending after the close, and when the driver cannot say.
    int pendingOutput() const;
    // Blocks until the kernel has sent what it holds for output (tcdrain), its output is
    // flushed, or a signal interrupts (EINTR). Returns 0 or an errno; 0 for a socket.
    int drainKernel() const;

    // read/write on the non-blocking descriptor: bytes moved, or -errno.
    ssize_t readSome(void* buf, std::size_t len);
    ssize_t writeSome(const void* buf, std::size_t len);

private:
    int fd_ = -1;
    bool socket_ = false;
    std::string path_;
};

} // namespace serilon
