#include "tools/scanner-sim/line_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace scanner_sim {

namespace {

struct SpeedEntry {
    uint32_t baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

void closeFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

speed_t speedForBaud(uint32_t baud) {
    for (const auto& e : kSpeeds)
        if (e.baud == baud)
            return e.speed;
    return B0;
}

uint32_t baudForSpeed(speed_t speed) {
    for (const auto& e : kSpeeds)
        if (e.speed == speed)
            return e.baud;
    return 0;
}

PtyPair::PtyPair(PtyPair&& other) noexcept
    : master(other.master), slave(other.slave), slavePath(std::move(other.slavePath)) {
    other.master = other.slave = -1;
}

PtyPair& PtyPair::operator=(PtyPair&& other) noexcept {
    if (this != &other) {
        closeFd(master);
        closeFd(slave);
        master = other.master;
        slave = other.slave;
        slavePath = std::move(other.slavePath);
        other.master = other.slave = -1;
    }
    return *this;
}

PtyPair::~PtyPair() {
    closeFd(slave);
    closeFd(master);
}

bool openPtyPair(PtyPair& pair, uint32_t baud, std::string& error) {
    PtyPair p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.master < 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (grantpt(p.master) != 0 || unlockpt(p.master) != 0 ||
        ptsname_r(p.master, name, sizeof name) != 0) {
        error = std::string("cannot prepare the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    p.slavePath = name;
    p.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.slave < 0) {
        error = "cannot open " + p.slavePath + ": " + std::strerror(errno);
        return false;
    }
    termios t{};
    if (tcgetattr(p.slave, &t) == 0) {
        cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        speed_t s = speedForBaud(baud);
        if (s != B0)
            cfsetspeed(&t, s);
        tcsetattr(p.slave, TCSANOW, &t);
    }
    int flags = fcntl(p.master, F_GETFL);
    fcntl(p.master, F_SETFL, flags | O_NONBLOCK);
    pair = std::move(p);
    return true;
}

std::unique_ptr<LinePort> LinePort::openPty(const LineSettings& line, std::string& error) {
    std::unique_ptr<LinePort> port(new LinePort);
    if (!openPtyPair(port->pty_, line.baud, error))
        return nullptr;
    port->path_ = port->pty_.slavePath;
    return port;
}

std::unique_ptr<LinePort> LinePort::openDevice(const std::string& path, const LineSettings& line,
                                               std::string& error) {
    std::unique_ptr<LinePort> port(new LinePort);
    port->device_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->device_ < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        if (errno == EACCES || errno == EPERM)
            error += " (is your user in the device's group, usually dialout?)";
        return nullptr;
    }
    if (!isatty(port->device_)) {
        error = path + " is not a terminal device";
        return nullptr;
    }
    ioctl(port->device_, TIOCEXCL);
    port->path_ = path;
    if (!port->applyLine(line, error))
        return nullptr;
    return port;
}

LinePort::~LinePort() {
    closeFd(device_);
}

int LinePort::fd() const {
    return device_ >= 0 ? device_ : pty_.master;
}

uint32_t LinePort::peerBaud() const {
    if (device_ >= 0)
        return 0;
    // On Linux the master reports the slave's settings.
    termios t{};
    if (tcgetattr(pty_.master, &t) != 0)
        return 0;
    return baudForSpeed(cfgetospeed(&t));
}

bool LinePort::applyLine(const LineSettings& line, std::string& error) {
    if (device_ < 0)
        return true;
    termios t{};
    if (tcgetattr(device_, &t) != 0) {
        error = std::string("cannot read the device settings: ") + std::strerror(errno);
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= line.dataBits == 7 ? CS7 : CS8;
    if (line.parity != 'N') {
        t.c_cflag |= PARENB;
        if (line.parity == 'O')
            t.c_cflag |= PARODD;
    }
    if (line.stopBits == 2)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    speed_t s = speedForBaud(line.baud);
    if (s == B0 || cfsetspeed(&t, s) != 0 || tcsetattr(device_, TCSADRAIN, &t) != 0) {
        error = "cannot set " + line.toString() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace scanner_sim
