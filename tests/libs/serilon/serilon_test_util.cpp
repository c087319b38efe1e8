#include "serilon_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace serilon_test {

double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

namespace {

int openProc(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

} // namespace

ServerWatch::ServerWatch(std::uint16_t port, long thread0)
    : port_(port), tcp_(openProc("/proc/net/tcp")), tcp6_(openProc("/proc/net/tcp6")),
      stat_(openProc("/proc/self/task/" + std::to_string(thread0) + "/stat")),
      syscall_(openProc("/proc/self/task/" + std::to_string(thread0) + "/syscall")),
      status_(openProc("/proc/self/task/" + std::to_string(thread0) + "/status")) {}

ServerWatch::~ServerWatch() {
    for (int fd : {tcp_, tcp6_, stat_, syscall_, status_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string ServerWatch::read(int fd) const {
    // The kernel makes the text anew for every read from offset 0.
    std::string text;
    char buf[4096];
    ssize_t n;
    while (fd >= 0 && (n = ::pread(fd, buf, sizeof buf, off_t(text.size()))) > 0) {
        text.append(buf, std::size_t(n));
    }
    return text;
}

int ServerWatch::queued() const {
    // Lines of "sl: local rem st tx_queue:rx_queue ..."; a listening socket (st 0A)
    // shows its accept queue as rx_queue.
    for (int fd : {tcp_, tcp6_}) {
        const std::string text = read(fd);
        std::size_t at = text.find('\n'); // past the heading
        while (at != std::string::npos && at + 1 < text.size()) {
            const std::size_t next = text.find('\n', at + 1);
            const std::string line = text.substr(at + 1, next - at - 1);
            at = next;
            char local[64], remote[64];
            unsigned state = 0, rx = 0;
            if (std::sscanf(line.c_str(), " %*[^:]: %63s %63s %x %*x:%x", local, remote, &state,
                            &rx) != 4 ||
                state != 0x0A) {
                continue;
            }
            const char* colon = std::strrchr(local, ':');
            if (colon && std::strtoul(colon + 1, nullptr, 16) == port_) {
                return int(rx);
            }
        }
    }
    return -1;
}

bool ServerWatch::sleepsInPoll() const {
    const std::string stat = read(stat_);
    const auto name = stat.rfind(')'); // the state follows the parenthesised name
    if (name == std::string::npos || name + 2 >= stat.size() || stat[name + 2] != 'S') {
        return false;
    }
    const long number = std::strtol(read(syscall_).c_str(), nullptr, 10);
#ifdef SYS_poll
    if (number == SYS_poll) {
        return true;
    }
#endif
    return number == SYS_ppoll;
}

long ServerWatch::voluntarySwitches() const {
    const std::string status = read(status_);
    const char* key = "\nvoluntary_ctxt_switches:";
    const auto at = status.find(key);
    return at == std::string::npos
               ? -1
               : std::strtol(status.c_str() + at + std::strlen(key), nullptr, 10);
}

} // namespace serilon_test
