#include "support/pty_pair.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace vort::test {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

} // namespace

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) < 0 || ::unlockpt(master_) < 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        throw std::runtime_error("cannot name the pseudo-terminal slave");
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    closeMaster();
}

void PtyPair::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

bool PtyPair::writeAll(const void* data, std::size_t len, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = ::write(master_, p, len);
        if (n > 0) {
            p += n;
            len -= std::size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd pfd = {master_, POLLOUT, 0};
        if (::poll(&pfd, 1, msLeft(deadline)) <= 0 && Clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

std::string PtyPair::read(std::size_t n, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string out;
    char buf[65536];
    while (out.size() < n) {
        const ssize_t got = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
        if (got > 0) {
            out.append(buf, std::size_t(got));
            continue;
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        const int left = msLeft(deadline);
        if (left == 0) {
            break;
        }
        pollfd pfd = {master_, POLLIN, 0};
        ::poll(&pfd, 1, left);
    }
    return out;
}

ScopedPortMap::ScopedPortMap() {
    if (const char* prev = std::getenv("XDG_CONFIG_HOME")) {
        previous_ = prev;
        hadPrevious_ = true;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "serilon-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/serilon");
    ::chmod(dir_.c_str(), 0755);
    ::chmod((dir_ + "/serilon").c_str(), 0755);
    writeText("");
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
}

ScopedPortMap::~ScopedPortMap() {
    if (hadPrevious_) {
        ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void ScopedPortMap::map(int port, const std::string& path) {
    writeText(text_ + "COM" + std::to_string(port) + "=" + path + "\n");
}

void ScopedPortMap::writeText(const std::string& text) {
    text_ = text;
    const std::string file = dir_ + "/serilon/ports.conf";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text_;
    ::chmod(file.c_str(), 0644);
}

} // namespace vort::test
