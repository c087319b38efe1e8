#include "libs/serilon/posix_device.h"

#include "serilon/serilon.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace serilon {

namespace {

// The kernel's termios2, which carries the speed as a number. Declared here because the
// kernel header that has it clashes with <termios.h>; the layout is the kernel's
// (19 control characters, then input and output speed).
struct KernelTermios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
const unsigned long kTcGets2 = _IOR('T', 0x2A, KernelTermios2);
const unsigned long kTcSets2 = _IOW('T', 0x2B, KernelTermios2);
// c_cflag speed fields: CBAUD the output code, CIBAUD the input code (0: as output);
// the code BOTHER says "the speed is in c_ospeed/c_ispeed".
constexpr tcflag_t kCbaud = 0010017;
constexpr tcflag_t kCibaud = 002003600000;
constexpr tcflag_t kBother = 0010000;

constexpr std::uint32_t kDefaultMaxBaud = 4000000;

struct SpeedCode {
    std::uint32_t baud;
    speed_t code;
};
constexpr SpeedCode kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

speed_t speedCode(std::uint32_t baud) {
    for (const SpeedCode& s : kSpeeds) {
        if (s.baud == baud) {
            return s.code;
        }
    }
    return 0;
}

std::uint32_t speedOfCode(speed_t code) {
    for (const SpeedCode& s : kSpeeds) {
        if (s.code == code) {
            return s.baud;
        }
    }
    return 0;
}

int ioctlRetry(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

// True inside a device testbed: umockdev's preload library is loaded and has made its
// testbed (it sets UMOCKDEV_DIR). Its fake device nodes are pseudo-terminals whose
// emulation says no to isatty() and to the ioctls it has no script for, while termios
// works; only there does open take a node that answers tcgetattr for a terminal. A
// program outside such a testbed never has both set.
bool insideDeviceTestbed() {
    const char* dir = std::getenv("UMOCKDEV_DIR");
    const char* preload = std::getenv("LD_PRELOAD");
    return dir && dir[0] && preload && std::strstr(preload, "libumockdev-preload");
}

bool noSuchFeature(int err) {
    return err == ENOTTY || err == EINVAL;
}

// How much of the settings to ask for: everything, then without what a pseudo-terminal
// refuses (sizes other than 8 and parity), then also without hardware flow.
enum class Ask { All, NoFraming, SpeedAndStop };

void fillTermios(termios& t, const LineSettings& s, Ask ask, speed_t code) {
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR | ISTRIP | IGNBRK | BRKINT);
    int bits = s.dataBits;
    char parity = s.parity;
    if (ask != Ask::All) {
        bits = 8;
        parity = 'N';
    }
    switch (bits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    switch (parity) {
    case 'O':
        t.c_cflag |= PARENB | PARODD;
        break;
    case 'E':
        t.c_cflag |= PARENB;
        break;
    case 'M':
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 'S':
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (s.stopBits == 2) {
        t.c_cflag |= CSTOPB;
    }
    if ((s.flow & SERIAL_FLOW_RTSCTS) && ask != Ask::SpeedAndStop) {
        t.c_cflag |= CRTSCTS;
    }
    if (s.flow & SERIAL_FLOW_XONXOFF) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = s.xonChar;
        t.c_cc[VSTOP] = s.xoffChar;
    }
    if (s.errorCharOn) {
        // Bad bytes and breaks arrive marked in-band; thread 0 decodes the marks.
        t.c_iflag |= INPCK | PARMRK;
    }
    cfsetispeed(&t, code);
    cfsetospeed(&t, code);
}

} // namespace

OsStatus PosixDevice::open(const std::string& path) {
    close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return osError(errno, OsOperation::Open, path);
    }
    auto fail = [&](int err, OsOperation op) {
        ::close(fd);
        return osError(err, op, path);
    };
    const bool emulated = insideDeviceTestbed();
    termios probe{};
    if (!::isatty(fd) && !(emulated && ::tcgetattr(fd, &probe) == 0)) {
        return fail(ENOTTY, OsOperation::Open);
    }
    // The lock first: TIOCEXCL on a device another program holds would shut that
    // program out of reopening it.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        return fail(errno, OsOperation::Lock);
    }
    errno = 0;
    if (ioctlRetry(fd, TIOCEXCL, nullptr) < 0 && !noSuchFeature(errno) && !emulated) {
        return fail(errno, OsOperation::Lock);
    }
    termios t{};
    if (::tcgetattr(fd, &t) < 0) {
        return fail(errno, OsOperation::Configure);
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) < 0) {
        return fail(errno, OsOperation::Configure);
    }
    fd_ = fd;
    path_ = path;
    // The kernel raises both at open already unless a previous user dropped them.
    setOutputLine(SERIAL_LINE_DTR, true);
    setOutputLine(SERIAL_LINE_RTS, true);
    return OsStatus::success();
}

void PosixDevice::adoptSocket(int fd, const std::string& name) {
    close();
    fd_ = fd;
    socket_ = true;
    path_ = name;
}

void PosixDevice::shutdownSocket() {
    if (fd_ >= 0 && socket_) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

void PosixDevice::close() {
    if (fd_ < 0) {
        return;
    }
    if (!socket_) {
        ioctlRetry(fd_, TIOCNXCL, nullptr);
        ::flock(fd_, LOCK_UN);
    }
    ::close(fd_);
    fd_ = -1;
    socket_ = false;
}

LineSettings PosixDevice::currentLine() const {
    LineSettings s;
    termios t{};
    if (fd_ < 0 || socket_ || ::tcgetattr(fd_, &t) < 0) {
        return s;
    }
    KernelTermios2 t2{};
    if (ioctlRetry(fd_, kTcGets2, &t2) == 0 && t2.c_ospeed > 0) {
        s.baud = t2.c_ospeed;
    } else if (std::uint32_t b = speedOfCode(cfgetospeed(&t)); b > 0) {
        s.baud = b;
    }
    switch (t.c_cflag & CSIZE) {
    case CS5:
        s.dataBits = 5;
        break;
    case CS6:
        s.dataBits = 6;
        break;
    case CS7:
        s.dataBits = 7;
        break;
    default:
        s.dataBits = 8;
        break;
    }
    if (!(t.c_cflag & PARENB)) {
        s.parity = 'N';
    } else if (t.c_cflag & CMSPAR) {
        s.parity = (t.c_cflag & PARODD) ? 'M' : 'S';
    } else {
        s.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    }
    s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    s.flow = 0;
    if (t.c_cflag & CRTSCTS) {
        s.flow |= SERIAL_FLOW_RTSCTS;
    }
    if (t.c_iflag & IXON) {
        s.flow |= SERIAL_FLOW_XONXOFF;
    }
    s.xonChar = t.c_cc[VSTART];
    s.xoffChar = t.c_cc[VSTOP];
    return s;
}

OsStatus PosixDevice::applyLine(const LineSettings& s) {
    if (fd_ < 0) {
        return OsStatus::make(SERIAL_E_NOT_OPEN, "the device is not open");
    }
    if (s.baud == 0) {
        return OsStatus::make(SERIAL_E_INVALID, "a speed of 0 baud is not a line speed");
    }
    if (socket_) {
        return OsStatus::success(); // a connection has no line to set
    }
    termios base{};
    if (::tcgetattr(fd_, &base) < 0) {
        return osError(errno, OsOperation::Configure, path_);
    }
    const speed_t code = speedCode(s.baud);
    // Speeds without a code go in through termios2 below; B38400 holds the place.
    const speed_t placeholder = code ? code : B38400;
    int lastErr = 0;
    bool applied = false;
    for (Ask ask : {Ask::All, Ask::NoFraming, Ask::SpeedAndStop}) {
        termios t = base;
        fillTermios(t, s, ask, placeholder);
        if (::tcsetattr(fd_, TCSANOW, &t) == 0) {
            applied = true;
            break;
        }
        lastErr = errno;
        if (lastErr != EINVAL) {
            break;
        }
    }
    if (!applied) {
        return osError(lastErr, OsOperation::Configure, path_);
    }
    if (code == 0) {
        KernelTermios2 t2{};
        if (ioctlRetry(fd_, kTcGets2, &t2) < 0) {
            return osError(errno, OsOperation::Configure, path_);
        }
        t2.c_cflag &= ~(kCbaud | kCibaud);
        t2.c_cflag |= kBother;
        t2.c_ispeed = s.baud;
        t2.c_ospeed = s.baud;
        if (ioctlRetry(fd_, kTcSets2, &t2) < 0) {
            OsStatus st = osError(errno, OsOperation::Configure, path_);
            if (st.status == SERIAL_E_INVALID) {
                st.text = path_ + " does not take " + std::to_string(s.baud) + " baud";
            }
            return st;
        }
    }
    return OsStatus::success();
}

bool PosixDevice::probeModemLines() const {
    int bits = 0;
    return fd_ >= 0 && !socket_ && ioctlRetry(fd_, TIOCMGET, &bits) == 0;
}

bool PosixDevice::modemStatus(int& msBits) const {
    msBits = 0;
    int bits = 0;
    if (fd_ < 0 || socket_ || ioctlRetry(fd_, TIOCMGET, &bits) < 0) {
        return false;
    }
    if (bits & TIOCM_CTS) {
        msBits |= SERIAL_MS_CTS;
    }
    if (bits & TIOCM_DSR) {
        msBits |= SERIAL_MS_DSR;
    }
    if (bits & TIOCM_RNG) {
        msBits |= SERIAL_MS_RING;
    }
    if (bits & TIOCM_CAR) {
        msBits |= SERIAL_MS_CD;
    }
    return true;
}

OsStatus PosixDevice::setOutputLine(int line, bool on) {
    if (fd_ < 0) {
        return OsStatus::make(SERIAL_E_NOT_OPEN, "the device is not open");
    }
    if (socket_) {
        return OsStatus::success();
    }
    int bits = 0;
    if (line & SERIAL_LINE_DTR) {
        bits |= TIOCM_DTR;
    }
    if (line & SERIAL_LINE_RTS) {
        bits |= TIOCM_RTS;
    }
    if (ioctlRetry(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) < 0 && !noSuchFeature(errno)) {
        return osError(errno, OsOperation::Control, path_);
    }
    return OsStatus::success();
}

OsStatus PosixDevice::setBreak(bool on) {
    if (fd_ < 0) {
        return OsStatus::make(SERIAL_E_NOT_OPEN, "the device is not open");
    }
    if (socket_) {
        return OsStatus::success();
    }
    if (ioctlRetry(fd_, on ? TIOCSBRK : TIOCCBRK, nullptr) < 0 && !noSuchFeature(errno)) {
        return osError(errno, OsOperation::Control, path_);
    }
    return OsStatus::success();
}

int PosixDevice::waitModemChange() const {
    // No EINTR retry here: a signal is how the waiting thread is told to stop.
    const unsigned long lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG;
    if (::ioctl(fd_, TIOCMIWAIT, lines) < 0) {
        return errno;
    }
    return 0;
}

bool PosixDevice::counters(LineCounters& out) const {
    serial_icounter_struct c{};
    if (fd_ < 0 || socket_ || ioctlRetry(fd_, TIOCGICOUNT, &c) < 0) {
        return false;
    }
    out.cts = std::uint32_t(c.cts);
    out.dsr = std::uint32_t(c.dsr);
    out.rng = std::uint32_t(c.rng);
    out.dcd = std::uint32_t(c.dcd);
    out.frame = std::uint32_t(c.frame);
    out.overrun = std::uint32_t(c.overrun);
    out.parity = std::uint32_t(c.parity);
    out.brk = std::uint32_t(c.brk);
    out.bufOverrun = std::uint32_t(c.buf_overrun);
    return true;
}

std::uint32_t PosixDevice::maxBaud() const {
    serial_struct ss{};
    if (fd_ >= 0 && !socket_ && ioctlRetry(fd_, TIOCGSERIAL, &ss) == 0 && ss.baud_base >= 9600 &&
        std::uint32_t(ss.baud_base) <= 0x7FFFFFFF) {
        return std::uint32_t(ss.baud_base);
    }
    return kDefaultMaxBaud;
}

void PosixDevice::flushKernel(int dir) {
    if (fd_ >= 0 && !socket_) {
        ::tcflush(fd_, dir == SERIAL_DIR_INPUT ? TCIFLUSH : TCOFLUSH);
    }
}

int PosixDevice::pendingOutput() const {
    int count = 0;
    if (fd_ < 0 || socket_ || ioctlRetry(fd_, TIOCOUTQ, &count) < 0 || count < 0) {
        return 0;
    }
    return count;
}

int PosixDevice::drainKernel() const {
    if (fd_ < 0 || socket_) {
        return 0;
    }
    return ::tcdrain(fd_) < 0 ? errno : 0;
}

ssize_t PosixDevice::readSome(void* buf, std::size_t len) {
    ssize_t n;
    do {
        n = ::read(fd_, buf, len);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -errno : n;
}

ssize_t PosixDevice::writeSome(const void* buf, std::size_t len) {
    ssize_t n;
    do {
        // A socket whose peer has gone must report EPIPE, not raise SIGPIPE.
        n = socket_ ? ::send(fd_, buf, len, MSG_NOSIGNAL) : ::write(fd_, buf, len);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -errno : n;
}

} // namespace serilon
